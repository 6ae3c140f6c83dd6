// Writes template.img: the Kova image whose header every converted grid
// starts from. A latitude/longitude image (projection 3) of image type 200,
// one pixel of no data, georeferenced at 0/0 with one-degree pixels; the
// conversion replaces size, origin, pixel size and scaling.
#include <cstdio>
#include <exception>
#include <fstream>
#include <string>

#include "image/format.h"
#include "image/real48.h"

namespace {

constexpr const char* kTitle = "Tarvo2Kova template: lat/lon grid, image type 200";

kova::KovaHeader TemplateHeader() {
  kova::KovaHeader header;
  header.ImageType = 200;
  header.ProjectionType = 3;
  header.Rows = 1;
  header.Columns = 1;
  header.Title.fill(' ');
  const std::string title = kTitle;
  for (std::size_t i = 0; i < title.size() && i < header.Title.size(); ++i)
    header.Title[i] = title[i];
  header.OriginLatitude = kova::EncodeReal48(0.0L);
  header.OriginLongitude = kova::EncodeReal48(0.0L);
  header.OriginColumn = kova::EncodeReal48(0.0L);
  header.OriginRow = kova::EncodeReal48(0.0L);
  header.PixelWidth = kova::EncodeReal48(1.0L);
  header.PixelHeight = kova::EncodeReal48(1.0L);
  header.StdParallel1 = kova::EncodeReal48(0.0L);
  header.StdParallel2 = kova::EncodeReal48(0.0L);
  header.MinCode = 0;
  header.MaxCode = 253;
  header.NoDataCode = 254;
  header.ScaleFactor = kova::EncodeReal48(1.0L);
  header.ScaleOffset = kova::EncodeReal48(0.0L);
  header.Decimals = 0;
  return header;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_template OUTPUT\n");
    return 2;
  }
  try {
    const kova::HeaderBytes bytes = kova::EncodeHeader(TemplateHeader());
    std::ofstream out(argv[1], std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    const char no_data_pixel = static_cast<char>(254);
    out.put(no_data_pixel);
    out.close();
    if (!out) {
      std::fprintf(stderr, "Unable to write to %s\n", argv[1]);
      return 1;
    }
  } catch (const std::exception& error) {
    std::fprintf(stderr, "%s\n", error.what());
    return 1;
  }
  return 0;
}
