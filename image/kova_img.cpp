// Attaching an image, the header properties and their write-through.
#include "image/kova_img.h"

#include <algorithm>  // std::copy

#include "app/platform/base/errors.h"
#include "host/ui.h"

namespace kova {

TKovaImg::~TKovaImg() = default;  // the raster handle closes with its BinaryFile

void TKovaImg::SetFileName(const std::string& name) {
  if (raster_open_) {
    raster_.Close();
    raster_open_ = false;
  }
  file_name_ = name;  // also when the file then cannot be opened
  write_through_ = true;
  HeaderBytes bytes{};
  std::size_t read = 0;
  {
    BinaryFile file(name, FileAccess::ReadOnly);
    read = file.Read(bytes.data(), bytes.size());
    file.Close();
  }
  AttachHeader(name, bytes, read);
}

void TKovaImg::AttachHeader(const std::string& name, const HeaderBytes& bytes, std::size_t read) {
  if (raster_open_) {
    raster_.Close();
    raster_open_ = false;
  }
  file_name_ = name;
  write_through_ = true;
  header_ = DecodeHeader(bytes);
  status_ = (read == kHeaderSize && IsValidHeader(bytes)) ? 1 : 2;
  if (status_ != 1) return;  // the property copies keep the previous image's values
  ApplyTypeDefaults(header_);
  props_ = header_;
  ComputeGeolocationSummary();
}

// --- Property reads -------------------------------------------------------

double TKovaImg::OriginLatitude() const noexcept {
  return static_cast<double>(DecodeReal48(props_.OriginLatitude));
}
double TKovaImg::OriginLongitude() const noexcept {
  return static_cast<double>(DecodeReal48(props_.OriginLongitude));
}
double TKovaImg::OriginColumn() const noexcept {
  return static_cast<double>(DecodeReal48(props_.OriginColumn));
}
double TKovaImg::OriginRow() const noexcept {
  return static_cast<double>(DecodeReal48(props_.OriginRow));
}
double TKovaImg::PixelWidth() const noexcept {
  return static_cast<double>(DecodeReal48(props_.PixelWidth));
}
double TKovaImg::PixelHeight() const noexcept {
  return static_cast<double>(DecodeReal48(props_.PixelHeight));
}
double TKovaImg::StdParallel1() const noexcept {
  return static_cast<double>(DecodeReal48(props_.StdParallel1));
}
double TKovaImg::StdParallel2() const noexcept {
  return static_cast<double>(DecodeReal48(props_.StdParallel2));
}
double TKovaImg::ScaleFactor() const noexcept {
  return static_cast<double>(DecodeReal48(props_.ScaleFactor));
}
double TKovaImg::ScaleOffset() const noexcept {
  return static_cast<double>(DecodeReal48(props_.ScaleOffset));
}

// --- Setters ----------------------------------------------------------------

bool TKovaImg::CanEdit() const {
  if (status_ == 1) return true;
  ReportNoValidImage();
  return false;
}

void TKovaImg::SetImageType(std::uint8_t value) {
  if (!CanEdit() || value == props_.ImageType) return;
  props_.ImageType = header_.ImageType = value;
  if (write_through_) WriteHeaderField(kFieldImageType);
}

void TKovaImg::SetRows(std::int16_t value) {
  if (!CanEdit() || value == props_.Rows) return;
  props_.Rows = header_.Rows = value;
  if (write_through_) WriteHeaderField(kFieldRows);
}

void TKovaImg::SetColumns(std::int16_t value) {
  if (!CanEdit() || value == props_.Columns) return;
  props_.Columns = header_.Columns = value;
  if (write_through_) WriteHeaderField(kFieldColumns);
}

void TKovaImg::SetTitle(const std::string& value) {
  if (!CanEdit() || value == Title()) return;
  const std::string padded = PadRight(value, static_cast<int>(kTitleLength));
  std::copy(padded.begin(), padded.end(), props_.Title.begin());
  header_.Title = props_.Title;
  if (write_through_) WriteHeaderField(kFieldTitle);
}

void TKovaImg::SetReal(Real48 KovaHeader::*field, int field_number, double value) {
  if (!CanEdit()) return;
  // Compared at extended precision with the stored 6-byte value.
  if (DecodeReal48(props_.*field) == static_cast<long double>(value)) return;
  const Real48 stored = EncodeReal48(value);
  props_.*field = stored;
  header_.*field = stored;
  if (write_through_) WriteHeaderField(field_number);
}

void TKovaImg::SetOriginLatitude(double v) {
  SetReal(&KovaHeader::OriginLatitude, kFieldOriginLatitude, v);
}
void TKovaImg::SetOriginLongitude(double v) {
  SetReal(&KovaHeader::OriginLongitude, kFieldOriginLongitude, v);
}
void TKovaImg::SetOriginColumn(double v) {
  SetReal(&KovaHeader::OriginColumn, kFieldOriginColumn, v);
}
void TKovaImg::SetOriginRow(double v) {
  SetReal(&KovaHeader::OriginRow, kFieldOriginRow, v);
}
void TKovaImg::SetPixelWidth(double v) {
  SetReal(&KovaHeader::PixelWidth, kFieldPixelWidth, v);
}
void TKovaImg::SetPixelHeight(double v) {
  SetReal(&KovaHeader::PixelHeight, kFieldPixelHeight, v);
}
void TKovaImg::SetScaleFactor(double v) {
  SetReal(&KovaHeader::ScaleFactor, kFieldScaleFactor, v);
}
void TKovaImg::SetScaleOffset(double v) {
  SetReal(&KovaHeader::ScaleOffset, kFieldScaleOffset, v);
}

void TKovaImg::WriteHeaderField(int field_number) {
  if (!FileExists(file_name_)) {
    ReportNoValidImage();
    return;
  }
  BinaryFile file(file_name_, FileAccess::WriteExisting);
  if (const HeaderField* field = FindHeaderField(field_number)) {
    HeaderBytes bytes{};
    StoreHeaderField(header_, field_number, bytes);
    file.Seek(static_cast<std::int64_t>(field->offset));
    file.Write(bytes.data() + field->offset, field->width);
  }
  file.Close();
}

void TKovaImg::ReportNoValidImage() const {
  if (!file_name_.empty()) ShowErrorMessage("No valid image attached");
}

void TKovaImg::ReportClosedImage() const {
  ShowErrorMessage("Cannot perform this action on a closed image");
}

}  // namespace kova
