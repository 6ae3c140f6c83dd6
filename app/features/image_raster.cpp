#include "app/features/image_raster.h"

#include "app/platform/base/errors.h"
#include "app/platform/file.h"
#include "image/real48.h"

namespace kova {

bool ImageRaster::IsValue(std::uint8_t code) const noexcept {
  return code >= header.MinCode && code <= header.MaxCode && code != header.NoDataCode;
}

long double ImageRaster::Value(long double code) const noexcept {
  return code * DecodeReal48(header.ScaleFactor) + DecodeReal48(header.ScaleOffset);
}

std::string NotKovaImageText(const std::string& file_name) {
  return file_name + " is not a valid Kova image";
}

ImageRaster ReadImageRaster(const std::string& file_name) {
  ImageRaster image;
  image.file_name = file_name;
  try {
    BinaryFile file(file_name, FileAccess::ReadOnly);
    HeaderBytes bytes{};
    if (file.Read(bytes.data(), bytes.size()) != bytes.size() || !IsValidHeader(bytes)) {
      throw KovaError(NotKovaImageText(file_name));
    }
    image.header = DecodeHeader(bytes);
    ApplyTypeDefaults(image.header);
    if (image.header.Rows <= 0 || image.header.Columns <= 0) {
      throw KovaError("The image " + file_name + " has no pixels (" +
                      std::to_string(image.header.Columns) + " x " +
                      std::to_string(image.header.Rows) + ")");
    }
    const std::size_t size = static_cast<std::size_t>(image.header.Rows) *
                             static_cast<std::size_t>(image.header.Columns);
    image.codes.resize(size);
    if (file.Read(image.codes.data(), size) != size)
      throw FileError(IoResult::kReadBeyondEndOfFile);
    file.Close();
  } catch (FileError& error) {
    error.AddContext(file_name);
    throw;
  }
  return image;
}

}  // namespace kova
