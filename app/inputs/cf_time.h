// Time coordinates after the CF conventions ("days since 2024-01-01 06:00"),
// turned into the stamps that name the image of each time step.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kova::inputs {

enum class CfCalendar { kGregorian, kNoLeap, kAllLeap, k360Day };

struct CfTimeUnits {
  long double SecondsPerUnit = 0;
  // The reference instant: a day number of the calendar and the seconds
  // since that day's midnight, in UTC.
  std::int64_t ReferenceDay = 0;
  long double ReferenceSecond = 0;
  CfCalendar Calendar = CfCalendar::kGregorian;
};

// Reads "UNIT since DATE[ TIME][ ZONE]" with its calendar attribute (empty:
// the standard one). No value when the units are not dates ("1", "months
// since ..." and other units of no fixed length). Raises ConversionError for
// a calendar other than standard, gregorian, proleptic_gregorian, noleap,
// 365_day, all_leap, 366_day and 360_day, or a date that cannot be read.
std::optional<CfTimeUnits> ParseCfTimeUnits(const std::string& units, const std::string& calendar);

// Day number (0 at 1970-01-01 in the Gregorian calendar) of a calendar date
// and back.
std::int64_t CfDayNumber(CfCalendar calendar, std::int64_t year, int month, int day);
void CfCalendarDate(CfCalendar calendar, std::int64_t day_number, std::int64_t& year, int& month,
                    int& day);

// The stamps that name the time steps with these values: "YYYYMMDD" when all
// lie at midnight, otherwise "YYYYMMDDTHHMM" (to the nearest minute); "001",
// "002", ... when `units` is not a date. Raises ConversionError when two
// steps would get the same stamp.
std::vector<std::string> CfTimeStamps(const std::vector<double>& values,
                                      const std::optional<CfTimeUnits>& units);

}  // namespace kova::inputs
