#include "image/template_image.h"

#include <algorithm>
#include <cstring>

#include "app/platform/file.h"

namespace kova {

KovaHeader TemplateHeader() {
  KovaHeader header;
  header.ImageType = 200;
  header.ProjectionType = 3;
  header.Rows = 1;
  header.Columns = 1;
  header.Title.fill(' ');
  const std::size_t length = std::min(std::strlen(kTemplateTitle), header.Title.size());
  std::copy_n(kTemplateTitle, length, header.Title.begin());
  header.PixelWidth = EncodeReal48(1.0L);
  header.PixelHeight = EncodeReal48(1.0L);
  header.MinCode = 0;
  header.MaxCode = 253;
  header.NoDataCode = 254;
  header.ScaleFactor = EncodeReal48(1.0L);
  return header;
}

void WriteTemplateImage(const std::string& path, const KovaHeader& header) {
  const HeaderBytes bytes = EncodeHeader(header);
  BinaryFile file(path, FileAccess::CreateWrite);
  file.Write(bytes.data(), bytes.size());
  file.Write(&header.NoDataCode, 1);
  file.Close();
}

}  // namespace kova
