// TKovaImg: attaches to one Kova image file at a time, keeps a decoded copy of
// its header, exposes every header field as a property whose setter rewrites
// that field in the file at once, creates new images from the header copy,
// writes raster rows, and turns pixel positions into geographic coordinates.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>

#include "app/platform/file.h"
#include "image/format.h"

namespace kova {

// The text padded with spaces, or cut, to exactly n bytes; empty for n <= 0.
// A cut that would split a UTF-8 character is made before it, and the rest
// padded, so that the text stays readable.
std::string PadRight(const std::string& text, int n);

// "Vek/Brakkedal 1994-" followed by the current year.
std::string CreatorText();

// The largest piece in which CreateImageWithRaster hands over an image.
inline constexpr std::size_t kImageWriteChunk = std::size_t{1} << 20;

class TKovaImg {
 public:
  TKovaImg() = default;
  ~TKovaImg();  // closes an open raster handle
  TKovaImg(const TKovaImg&) = delete;
  TKovaImg& operator=(const TKovaImg&) = delete;

  // --- Attaching -----------------------------------------------------------
  const std::string& FileName() const noexcept { return file_name_; }
  // Attaches the named file: reads and checks its header, applies the type
  // defaults to the copy and computes the geolocation summary. A file that
  // cannot be opened raises its FileError; an invalid file gives Status 2.
  void SetFileName(const std::string& name);

  // 0 nothing attached yet, 1 a valid image attached, 2 an invalid file attached.
  std::uint8_t Status() const noexcept { return status_; }
  bool RasterOpen() const noexcept { return raster_open_; }

  // The header copy: the source of every write and of the georeference.
  const KovaHeader& Header() const noexcept { return header_; }

  // Until the next attach, setters change the header copy and the property
  // copies only and leave the attached file as it is. The conversion run uses
  // this to prepare an output's header from the template without rewriting
  // the template.
  void SuspendWriteThrough() noexcept { write_through_ = false; }
  bool WriteThrough() const noexcept { return write_through_; }

  // --- Properties (read the property copies) --------------------------------
  std::uint8_t ImageType() const noexcept { return props_.ImageType; }
  std::uint8_t ProjectionType() const noexcept { return props_.ProjectionType; }
  std::int16_t Rows() const noexcept { return props_.Rows; }
  std::int16_t Columns() const noexcept { return props_.Columns; }
  std::string Title() const { return std::string(props_.Title.data(), kTitleLength); }
  double OriginLatitude() const noexcept;
  double OriginLongitude() const noexcept;
  double OriginColumn() const noexcept;
  double OriginRow() const noexcept;
  double PixelWidth() const noexcept;
  double PixelHeight() const noexcept;
  double StdParallel1() const noexcept;
  double StdParallel2() const noexcept;
  std::uint8_t MinCode() const noexcept { return props_.MinCode; }
  std::uint8_t MaxCode() const noexcept { return props_.MaxCode; }
  std::uint8_t NoDataCode() const noexcept { return props_.NoDataCode; }
  double ScaleFactor() const noexcept;
  double ScaleOffset() const noexcept;
  std::uint8_t Decimals() const noexcept { return props_.Decimals; }

  // --- Setters: refuse unless Status is 1, skip an unchanged value, then
  // store into both copies and write the field through to the file. ---------
  void SetImageType(std::uint8_t value);
  void SetRows(std::int16_t value);
  void SetColumns(std::int16_t value);
  void SetTitle(const std::string& value);
  void SetOriginLatitude(double value);
  void SetOriginLongitude(double value);
  void SetOriginColumn(double value);
  void SetOriginRow(double value);
  void SetPixelWidth(double value);
  void SetPixelHeight(double value);
  void SetScaleFactor(double value);
  void SetScaleOffset(double value);

  // Rewrites one field of the attached file from the header copy.
  void WriteHeaderField(int field_number);

  // The component's two refusals ("No valid image attached" only when a file
  // name was ever given; "Cannot perform this action on a closed image").
  void ReportNoValidImage() const;
  void ReportClosedImage() const;

  // --- Creation and raster writing -----------------------------------------
  // Writes a new image from the header copy (title replaced by the creator
  // text), its raster filled with NoDataCode unless header_only.
  void CreateImage(const std::string& file_name, bool header_only);
  void OpenRaster();
  // Codes values[0 .. Columns-1] into pixel codes and writes them as image
  // row `row` (rounded half to even); rows outside the image are ignored.
  void WriteRow(std::span<const double> values, double row);
  void CloseRaster();

  // Receives the bytes of a new image file, in order.
  using ByteSink = std::function<void(const void* data, std::size_t count)>;

  // The whole image of a grid in one pass. Gives what CreateImage(file_name,
  // false), SetFileName(file_name), SetTitle(title), OpenRaster, WriteRow of
  // every row r (the values of row r, NaN where no_data is set) and
  // CloseRaster give, byte for byte, with the same refusals, errors and
  // cursor changes; but the image is built in memory and handed to `write`
  // in as few pieces as memory allows (up to kImageWriteChunk bytes each,
  // so a grid of 800 x 300 goes in one piece), never pre-filled, written
  // twice or read back. `file_name` is the file that `write` fills; it must
  // exist. `values` and `no_data` hold Rows x Columns cells, row by row.
  void CreateImageWithRaster(const std::string& file_name, const std::string& title,
                             std::span<const float> values, std::span<const std::uint8_t> no_data,
                             const ByteSink& write);

  // --- Geolocation ----------------------------------------------------------
  // Longitude and latitude in degrees of a pixel position; -1, -1 for a
  // negative or NaN position.
  void PixelToLatLon(double& longitude, double& latitude, double column, double row) const;

  float PixelSizeKm() const noexcept { return pixel_size_km_; }
  double MinLatitude() const noexcept { return min_latitude_; }
  double MaxLatitude() const noexcept { return max_latitude_; }
  double MinLongitude() const noexcept { return min_longitude_; }
  double MaxLongitude() const noexcept { return max_longitude_; }

 private:
  void SetReal(Real48 KovaHeader::*field, int field_number, double value);
  bool CanEdit() const;
  // Attaching from the `read` header bytes that the file `name` holds.
  void AttachHeader(const std::string& name, const HeaderBytes& bytes, std::size_t read);
  // Last step of a successful attach: extent and pixel size of the image.
  void ComputeGeolocationSummary();

  std::string file_name_;
  std::uint8_t status_ = 0;
  bool raster_open_ = false;
  bool write_through_ = true;
  BinaryFile raster_;
  KovaHeader header_{};  // header copy
  KovaHeader props_{};   // property copies
  float pixel_size_km_ = 0.0f;
  double min_latitude_ = 0.0;
  double max_latitude_ = 0.0;
  double min_longitude_ = 0.0;
  double max_longitude_ = 0.0;
};

}  // namespace kova
