// make_template OUTPUT: writes template.img, the image whose header every
// converted grid starts from, at build time.
#include <cstdio>
#include <exception>

#include "app/platform/base/errors.h"
#include "image/template_image.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_template OUTPUT\n");
    return 2;
  }
  try {
    kova::WriteTemplateImage(argv[1]);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "%s: %s\n", argv[1], kova::ErrorBoxText(error.what()).c_str());
    return 1;
  }
  return 0;
}
