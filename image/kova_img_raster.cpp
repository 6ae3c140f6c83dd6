// Creating image files and writing their raster row by row.
#include <array>
#include <cmath>  // nearbyint: round half to even in the default rounding mode
#include <ctime>  // the year of the system date
#include <vector>

#include "app/platform/errors.h"
#include "app/platform/ui.h"
#include "image/kova_img.h"

namespace kova {
namespace {

constexpr std::size_t kFillBlockSize = 8192;

// A long double quotient rounded to double, raising the faults the
// floating-point unit would trap: n/0 (division by zero), 0/0 (invalid
// operation) and a result beyond the double range (overflow).
double DivideToDouble(long double numerator, long double divisor) {
  if (divisor == 0.0L && !std::isnan(numerator) && !std::isinf(numerator)) {
    if (numerator == 0.0L) throw FloatInvalidOperationError();
    throw FloatDivideByZeroError();
  }
  const long double q = numerator / divisor;
  const double rounded = static_cast<double>(q);
  if (std::isinf(rounded) && !std::isinf(q)) throw FloatOverflowError();
  return rounded;
}

// Turns data values into pixel codes: q = (value - offset) / factor at
// extended precision, rounded to a double; a q outside MinCode..MaxCode or
// not a number is NoDataCode, any other q rounds half to even.
//
// The extended division is slow, so each value is first coded in double
// arithmetic. That quotient is within a few double ulps of the exact one;
// when no decision point (MinCode, MaxCode, a half between two codes) lies
// that close, both give the same code. Otherwise the value takes the exact way.
class PixelCoder {
 public:
  PixelCoder(long double offset, long double factor, std::uint8_t min_code, std::uint8_t max_code,
             std::uint8_t no_data_code)
      : offset_(offset),
        factor_(factor),
        offset_d_(static_cast<double>(offset)),  // 6-byte reals fit a double exactly
        factor_d_(static_cast<double>(factor)),
        inverse_d_(1.0 / factor_d_),
        min_(min_code),
        max_(max_code),
        no_data_(no_data_code) {}

  std::uint8_t Code(double value) const {
    if (std::isnan(value)) return no_data_;  // so too on the exact way, whatever the factor
    if (factor_d_ != 0.0 && std::isfinite(inverse_d_)) {
      const double q = (value - offset_d_) * inverse_d_;
      // Relative error of q against the exact quotient is below 2^-50;
      // 2^-40 leaves a wide margin (plus an absolute floor near zero).
      const double margin = std::fabs(q) * 0x1p-40 + 0x1p-60;
      if (q - margin > max_ || q + margin < min_) return no_data_;
      if (q - margin >= min_ && q + margin <= max_) {
        // q >= MinCode >= 0 here, so truncation is the floor.
        const int whole = static_cast<int>(q);
        const double fraction = q - whole;
        if (std::fabs(fraction - 0.5) > margin) {
          return static_cast<std::uint8_t>(fraction > 0.5 ? whole + 1 : whole);
        }
      }
    }
    return ExactCode(value);
  }

  std::uint8_t ExactCode(double value) const {
    const double v = DivideToDouble(value - offset_, factor_);
    if (std::isnan(v) || v > max_ || v < min_) return no_data_;
    return static_cast<std::uint8_t>(std::nearbyint(v));
  }

 private:
  long double offset_, factor_;
  double offset_d_, factor_d_, inverse_d_;
  double min_, max_;
  std::uint8_t no_data_;
};

}  // namespace

std::string PadRight(const std::string& text, int n) {
  if (n <= 0) return {};
  std::string out = text.substr(0, static_cast<std::size_t>(n));
  out.resize(static_cast<std::size_t>(n), ' ');
  return out;
}

std::string CreatorText() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  return "Vek/Brakkedal 1994-" + std::to_string(local.tm_year + 1900);
}

void TKovaImg::CreateImage(const std::string& file_name, bool header_only) {
  const std::string title = PadRight(CreatorText(), static_cast<int>(kTitleLength));
  std::copy(title.begin(), title.end(), header_.Title.begin());
  const std::vector<std::uint8_t> fill(kFillBlockSize, props_.NoDataCode);
  BusyCursor busy;  // back to the default cursor also when an error escapes
  if (status_ != 1) {
    ReportNoValidImage();
    return;
  }
  const std::int32_t size = std::int32_t{props_.Rows} * props_.Columns + 512;
  BinaryFile file(file_name, FileAccess::CreateWrite);
  const HeaderBytes zeros{};
  file.Write(zeros.data(), zeros.size());
  if (!header_only) {
    std::int64_t remaining = std::int64_t{size} - 512;
    while (remaining > 0) {
      const auto n = static_cast<std::size_t>(
          std::min<std::int64_t>(remaining, static_cast<std::int64_t>(kFillBlockSize)));
      file.Write(fill.data(), n);
      remaining -= static_cast<std::int64_t>(n);
    }
  }
  // The fields at their offsets; every other header byte stays zero.
  const HeaderBytes header = EncodeHeader(header_);
  file.Seek(0);
  file.Write(header.data(), header.size());
  file.Close();
}

void TKovaImg::OpenRaster() {
  if (status_ != 1) {
    ReportNoValidImage();
    return;
  }
  if (raster_open_) return;
  raster_.Open(file_name_, FileAccess::ReadWrite);
  raster_open_ = true;
}

void TKovaImg::WriteRow(std::span<const double> values, double row) {
  if (!raster_open_) {
    ReportClosedImage();
    return;
  }
  if (std::isnan(row) || row > props_.Rows - 1 || row < 0) return;
  const auto r = static_cast<std::int64_t>(std::nearbyint(row));
  const std::int64_t position = 512 + r * props_.Columns;

  const long double offset = DecodeReal48(props_.ScaleOffset);
  const long double factor = DecodeReal48(props_.ScaleFactor);
  const auto columns = static_cast<std::size_t>(std::max<std::int16_t>(props_.Columns, 0));
  // A row has at most 32767 pixels; they are coded here and written in one
  // call. Pixels coded before a failure are on disk when the error leaves.
  std::array<std::uint8_t, 32768> codes;
  std::size_t coded = 0;
  auto flush = [&] {
    if (coded != 0) raster_.WriteAt(position, codes.data(), coded);
  };
  const PixelCoder coder(offset, factor, props_.MinCode, props_.MaxCode, props_.NoDataCode);
  const std::size_t available = std::min(columns, values.size());
  try {
    for (; coded < available; ++coded) codes[coded] = coder.Code(values[coded]);
    if (available < columns) throw RangeError();
  } catch (const KovaError&) {
    flush();
    throw;
  }
  flush();
}

void TKovaImg::CloseRaster() {
  if (status_ != 1 || !raster_open_) return;
  raster_.Close();
  raster_open_ = false;
}

}  // namespace kova
