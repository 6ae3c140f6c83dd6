#include "app/inputs/cf_time.h"

#include <array>
#include <cctype>
#include <charconv>  // std::from_chars of date fields
#include <cmath>
#include <cstdio>  // std::snprintf of stamps
#include <set>
#include <string_view>

#include "app/platform/base/errors.h"

namespace kova::inputs {
namespace {

// Years of a reference date, and minutes of a time step from it, beyond
// which a date is not taken: far enough for any record of the past or a
// model's future, near enough that no day number overflows.
constexpr std::int64_t kMaxYear = 100'000'000;
constexpr long double kMaxStepMinutes = 1e15L;  // about 1.9 billion years

constexpr std::array<int, 12> kMonthDays = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};

std::int64_t FloorDiv(std::int64_t a, std::int64_t b) {
  return a / b - ((a % b != 0) && ((a < 0) != (b < 0)) ? 1 : 0);
}

// Days before `month` in a year of a fixed-length calendar.
int DaysBeforeMonth(int month, bool leap) {
  int days = 0;
  for (int m = 1; m < month; ++m) days += kMonthDays[m - 1] + (m == 2 && leap ? 1 : 0);
  return days;
}

std::string Lower(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

// Seconds of one unit of the UDUNITS names CF uses for time; 0 when the unit
// has no fixed length or is not a time.
long double SecondsOf(const std::string& unit) {
  static const struct {
    const char* name;
    long double seconds;
  } kUnits[] = {
      {"second", 1},   {"seconds", 1},  {"sec", 1},       {"secs", 1},       {"s", 1},
      {"minute", 60},  {"minutes", 60}, {"min", 60},      {"mins", 60},      {"hour", 3600},
      {"hours", 3600}, {"hr", 3600},    {"hrs", 3600},    {"h", 3600},       {"day", 86400},
      {"days", 86400}, {"d", 86400},    {"week", 604800}, {"weeks", 604800},
  };
  for (const auto& known : kUnits) {
    if (unit == known.name) return known.seconds;
  }
  return 0;
}

// Reads a whole number at `at`, moving `at` behind it.
bool ReadNumber(std::string_view text, std::size_t& at, std::int64_t& value, bool signed_ok) {
  std::size_t start = at;
  if (signed_ok && at < text.size() && (text[at] == '-' || text[at] == '+')) ++at;
  std::size_t digits = at;
  while (at < text.size() && std::isdigit(static_cast<unsigned char>(text[at]))) ++at;
  if (at == digits) return false;
  std::string_view number = text.substr(start, at - start);
  if (number.front() == '+') number.remove_prefix(1);
  return std::from_chars(number.data(), number.data() + number.size(), value).ec == std::errc();
}

[[noreturn]] void RefuseUnits(const std::string& units) {
  throw ConversionError("The time units '" + units + "' cannot be read as a date");
}

}  // namespace

std::int64_t CfDayNumber(CfCalendar calendar, std::int64_t year, int month, int day) {
  switch (calendar) {
    case CfCalendar::kGregorian: {
      // Day count of the proleptic Gregorian calendar in 400-year eras,
      // with the year starting in March (H. Hinnant, "chrono-Compatible
      // Low-Level Date Algorithms", days_from_civil).
      const std::int64_t y = year - (month <= 2 ? 1 : 0);
      const std::int64_t era = FloorDiv(y, 400);
      const std::int64_t year_of_era = y - era * 400;
      const std::int64_t day_of_year = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
      const std::int64_t day_of_era =
          year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;
      return era * 146097 + day_of_era - 719468;
    }
    case CfCalendar::kNoLeap:
      return year * 365 + DaysBeforeMonth(month, false) + day - 1;
    case CfCalendar::kAllLeap:
      return year * 366 + DaysBeforeMonth(month, true) + day - 1;
    case CfCalendar::k360Day:
      return year * 360 + (month - 1) * 30 + day - 1;
  }
  return 0;
}

void CfCalendarDate(CfCalendar calendar, std::int64_t day_number, std::int64_t& year, int& month,
                    int& day) {
  if (calendar == CfCalendar::kGregorian) {
    // The inverse of CfDayNumber (same source, civil_from_days).
    const std::int64_t z = day_number + 719468;
    const std::int64_t era = FloorDiv(z, 146097);
    const std::int64_t day_of_era = z - era * 146097;
    const std::int64_t year_of_era =
        (day_of_era - day_of_era / 1460 + day_of_era / 36524 - day_of_era / 146096) / 365;
    const std::int64_t day_of_year =
        day_of_era - (365 * year_of_era + year_of_era / 4 - year_of_era / 100);
    const std::int64_t shifted_month = (5 * day_of_year + 2) / 153;
    day = static_cast<int>(day_of_year - (153 * shifted_month + 2) / 5 + 1);
    month = static_cast<int>(shifted_month < 10 ? shifted_month + 3 : shifted_month - 9);
    year = year_of_era + era * 400 + (month <= 2 ? 1 : 0);
    return;
  }
  if (calendar == CfCalendar::k360Day) {
    year = FloorDiv(day_number, 360);
    const std::int64_t in_year = day_number - year * 360;
    month = static_cast<int>(in_year / 30) + 1;
    day = static_cast<int>(in_year % 30) + 1;
    return;
  }
  const bool leap = calendar == CfCalendar::kAllLeap;
  const std::int64_t length = leap ? 366 : 365;
  year = FloorDiv(day_number, length);
  int in_year = static_cast<int>(day_number - year * length);
  month = 1;
  while (month < 12 && in_year >= kMonthDays[month - 1] + (month == 2 && leap ? 1 : 0)) {
    in_year -= kMonthDays[month - 1] + (month == 2 && leap ? 1 : 0);
    ++month;
  }
  day = in_year + 1;
}

std::optional<CfTimeUnits> ParseCfTimeUnits(const std::string& units, const std::string& calendar) {
  const std::string lower = Lower(units);
  const std::size_t since = lower.find(" since ");
  if (since == std::string::npos) return std::nullopt;
  std::string unit = lower.substr(0, since);
  unit.erase(0, unit.find_first_not_of(' '));
  CfTimeUnits result;
  result.SecondsPerUnit = SecondsOf(unit);
  if (result.SecondsPerUnit == 0) return std::nullopt;

  const std::string cal = Lower(calendar);
  if (cal.empty() || cal == "standard" || cal == "gregorian" || cal == "proleptic_gregorian") {
    result.Calendar = CfCalendar::kGregorian;
  } else if (cal == "noleap" || cal == "365_day") {
    result.Calendar = CfCalendar::kNoLeap;
  } else if (cal == "all_leap" || cal == "366_day") {
    result.Calendar = CfCalendar::kAllLeap;
  } else if (cal == "360_day") {
    result.Calendar = CfCalendar::k360Day;
  } else {
    throw ConversionError("The time calendar '" + calendar + "' is not supported");
  }

  // DATE: Y-M-D; TIME: H:M[:S[.fraction]] behind "T" or spaces; ZONE: "Z",
  // "UTC", or a signed offset H, H:MM or HHMM.
  const std::string_view text = std::string_view(lower).substr(since + 7);
  std::size_t at = text.find_first_not_of(' ');
  if (at == std::string_view::npos) RefuseUnits(units);
  std::int64_t year = 0, month = 0, day = 0, hour = 0, minute = 0;
  long double second = 0;
  if (!ReadNumber(text, at, year, true) || at >= text.size() || text[at++] != '-' ||
      !ReadNumber(text, at, month, false) || at >= text.size() || text[at++] != '-' ||
      !ReadNumber(text, at, day, false) || month < 1 || month > 12 || day < 1 || day > 31 ||
      year < -kMaxYear || year > kMaxYear) {
    RefuseUnits(units);
  }
  auto skip_spaces = [&] {
    while (at < text.size() && text[at] == ' ') ++at;
  };
  if (at < text.size() && text[at] == 't') ++at;
  skip_spaces();
  std::size_t mark = at;
  if (ReadNumber(text, at, hour, false) && at < text.size() && text[at] == ':') {
    ++at;
    if (!ReadNumber(text, at, minute, false) || hour > 24 || minute > 59) RefuseUnits(units);
    if (at < text.size() && text[at] == ':') {
      ++at;
      const std::size_t begin = at;
      while (at < text.size() &&
             (std::isdigit(static_cast<unsigned char>(text[at])) || text[at] == '.')) {
        ++at;
      }
      const std::string seconds(text.substr(begin, at - begin));
      if (seconds.empty()) RefuseUnits(units);
      double parsed = 0;
      if (std::from_chars(seconds.data(), seconds.data() + seconds.size(), parsed).ec !=
          std::errc()) {
        RefuseUnits(units);
      }
      if (parsed >= 61) RefuseUnits(units);  // 60: a leap second
      second = parsed;
    }
  } else {
    at = mark;
  }
  skip_spaces();
  long double zone_seconds = 0;
  if (at < text.size()) {
    const std::string_view zone = text.substr(at);
    if (zone == "z" || zone == "utc" || zone == "gmt") {
      at = text.size();
    } else if (zone.front() == '+' || zone.front() == '-') {
      const int sign = zone.front() == '-' ? -1 : 1;
      ++at;
      std::int64_t zone_hours = 0, zone_minutes = 0;
      const std::size_t digits_start = at;
      if (!ReadNumber(text, at, zone_hours, false)) RefuseUnits(units);
      if (at - digits_start == 4) {  // HHMM
        zone_minutes = zone_hours % 100;
        zone_hours /= 100;
      } else if (at < text.size() && text[at] == ':') {
        ++at;
        if (!ReadNumber(text, at, zone_minutes, false)) RefuseUnits(units);
      }
      if (zone_hours > 24 || zone_minutes > 59) RefuseUnits(units);
      zone_seconds = sign * (zone_hours * 3600 + zone_minutes * 60);
    }
    skip_spaces();
    if (at != text.size()) RefuseUnits(units);
  }
  result.ReferenceDay =
      CfDayNumber(result.Calendar, year, static_cast<int>(month), static_cast<int>(day));
  result.ReferenceSecond = hour * 3600 + minute * 60 + second - zone_seconds;
  return result;
}

std::vector<std::string> CfTimeStamps(const std::vector<double>& values,
                                      const std::optional<CfTimeUnits>& units) {
  std::vector<std::string> stamps;
  stamps.reserve(values.size());
  if (!units) {
    const int width =
        values.size() > 999 ? static_cast<int>(std::to_string(values.size()).size()) : 3;
    for (std::size_t i = 0; i < values.size(); ++i) {
      char text[32];
      std::snprintf(text, sizeof text, "%0*zu", width, i + 1);
      stamps.emplace_back(text);
    }
    return stamps;
  }

  // Each step to the nearest minute, as a day and a minute of that day.
  std::vector<std::pair<std::int64_t, int>> instants;
  bool all_midnight = true;
  for (double value : values) {
    if (!std::isfinite(value)) throw ConversionError("A time step is not a finite number");
    const long double minutes =
        std::nearbyint((value * units->SecondsPerUnit + units->ReferenceSecond) / 60);
    if (!(std::fabs(minutes) <= kMaxStepMinutes)) {
      char text[40];
      std::snprintf(text, sizeof text, "%.9g", value);
      throw ConversionError(std::string("The time step ") + text +
                            " lies too far from the reference date to be named");
    }
    const auto total = static_cast<std::int64_t>(minutes);
    const std::int64_t day = FloorDiv(total, 1440);
    const int minute = static_cast<int>(total - day * 1440);
    all_midnight = all_midnight && minute == 0;
    instants.emplace_back(units->ReferenceDay + day, minute);
  }
  std::set<std::string> seen;
  for (const auto& [day_number, minute] : instants) {
    std::int64_t year = 0;
    int month = 0, day = 0;
    CfCalendarDate(units->Calendar, day_number, year, month, day);
    char text[48];
    if (all_midnight) {
      std::snprintf(text, sizeof text, "%04lld%02d%02d", static_cast<long long>(year), month, day);
    } else {
      std::snprintf(text, sizeof text, "%04lld%02d%02dT%02d%02d", static_cast<long long>(year),
                    month, day, minute / 60, minute % 60);
    }
    if (!seen.insert(text).second) {
      throw ConversionError(std::string("Two time steps get the same name (") + text +
                            "); convert them one at a time with --index");
    }
    stamps.emplace_back(text);
  }
  return stamps;
}

}  // namespace kova::inputs
