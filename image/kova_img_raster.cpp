// Creating image files and writing their raster row by row.
#include <algorithm>
#include <array>
#include <cmath>   // nearbyint: round half to even in the default rounding mode
#include <ctime>   // the year of the system date
#include <memory>  // the unfilled piece buffer
#include <vector>

#include "app/platform/base/errors.h"
#include "host/ui.h"
#include "image/kova_img.h"
#include "image/pixel_coder.h"

namespace kova {
namespace {

constexpr std::size_t kFillBlockSize = 8192;

}  // namespace

std::string PadRight(const std::string& text, int n) {
  if (n <= 0) return {};
  std::size_t cut = std::min(text.size(), static_cast<std::size_t>(n));
  if (cut < text.size()) {
    // The first byte left out continues a character: step back to the byte
    // that leads it (at most three), and cut there if the character runs on
    // past the cut. Bytes that are no UTF-8 are cut where they are.
    const auto byte = [&text](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    std::size_t lead = cut;
    while (lead > 0 && cut - lead < 3 && (byte(lead) & 0xC0) == 0x80) --lead;
    const unsigned char first = byte(lead);
    const std::size_t length = first >= 0xF0 ? 4 : first >= 0xE0 ? 3 : first >= 0xC0 ? 2 : 1;
    if (lead < cut && first >= 0xC0 && first <= 0xF4 && lead + length > cut) cut = lead;
  }
  std::string out = text.substr(0, cut);
  out.resize(static_cast<std::size_t>(n), ' ');
  return out;
}

std::string CreatorText() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
#ifdef _WIN32
  localtime_s(&local, &now);
#else
  localtime_r(&now, &local);
#endif
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

void TKovaImg::CreateImageWithRaster(const std::string& file_name, const std::string& title,
                                     std::span<const float> values,
                                     std::span<const std::uint8_t> no_data, const ByteSink& write) {
  // CreateImage: the header copy with the creator text as its title.
  const std::string creator = PadRight(CreatorText(), static_cast<int>(kTitleLength));
  std::copy(creator.begin(), creator.end(), header_.Title.begin());
  HeaderBytes bytes{};
  {
    BusyCursor busy;
    if (status_ != 1) {
      ReportNoValidImage();
    } else {
      bytes = EncodeHeader(header_);
    }
  }
  if (status_ != 1) {
    SetFileName(file_name);  // nothing was created: the file stays as it is
    return;
  }
  const std::int64_t cells = std::int64_t{std::max<std::int16_t>(props_.Rows, 0)} *
                             std::max<std::int16_t>(props_.Columns, 0);

  // SetFileName: attached from the bytes just made instead of reading them
  // back.
  AttachHeader(file_name, bytes, kHeaderSize);

  // SetTitle, OpenRaster and the rows: coded into the pieces that are
  // written. An image that the attach finds invalid keeps its pre-filled
  // raster, as CreateImage leaves it.
  const bool coding = status_ == 1;
  if (coding && title != Title()) {
    const std::string padded = PadRight(title, static_cast<int>(kTitleLength));
    std::copy(padded.begin(), padded.end(), props_.Title.begin());
    header_.Title = props_.Title;
    StoreHeaderField(header_, kFieldTitle, bytes);
  }
  const auto count = static_cast<std::size_t>(cells);
  if (coding && (values.size() < count || no_data.size() < count)) throw RangeError();
  const PixelCoder coder(DecodeReal48(props_.ScaleOffset), DecodeReal48(props_.ScaleFactor),
                         props_.MinCode, props_.MaxCode, props_.NoDataCode);
  const std::uint8_t fill = props_.NoDataCode;

  const std::size_t total = kHeaderSize + count;
  // Not filled first: every byte written is coded or copied into it.
  const std::size_t piece_size = std::min(total, kImageWriteChunk);
  const std::unique_ptr<std::uint8_t[]> piece(new std::uint8_t[piece_size]);
  std::copy(bytes.begin(), bytes.end(), piece.get());
  std::size_t at = kHeaderSize;  // in the piece
  std::size_t cell = 0;
  while (cell < count || at != 0) {
    const std::size_t n = std::min(piece_size - at, count - cell);
    if (coding) {
      coder.CodeValues(values.data() + cell, no_data.data() + cell, n, piece.get() + at);
    } else {
      std::fill_n(piece.get() + at, n, fill);
    }
    cell += n;
    write(piece.get(), at + n);
    at = 0;
  }
}

void TKovaImg::CloseRaster() {
  if (status_ != 1 || !raster_open_) return;
  raster_.Close();
  raster_open_ = false;
}

}  // namespace kova
