#include "app/features/png_file.h"

#include <spng.h>

#include <cstdlib>  // free: the encoder's buffer is allocated with malloc
#include <memory>

#include "app/platform/base/errors.h"

namespace kova {
namespace {

struct ContextFree {
  void operator()(spng_ctx* context) const noexcept { spng_ctx_free(context); }
};
using Context = std::unique_ptr<spng_ctx, ContextFree>;

void Check(int result, const char* what) {
  if (result != 0) {
    throw KovaError(std::string("PNG ") + what + " failed: " + spng_strerror(result));
  }
}

}  // namespace

std::string EncodePng(const RgbaImage& image) {
  Context context(spng_ctx_new(SPNG_CTX_ENCODER));
  if (!context) throw KovaError("PNG coding failed: out of memory");
  Check(spng_set_option(context.get(), SPNG_ENCODE_TO_BUFFER, 1), "coding");
  spng_ihdr header{};
  header.width = static_cast<std::uint32_t>(image.width);
  header.height = static_cast<std::uint32_t>(image.height);
  header.bit_depth = 8;
  header.color_type = SPNG_COLOR_TYPE_TRUECOLOR_ALPHA;
  Check(spng_set_ihdr(context.get(), &header), "coding");
  Check(spng_encode_image(context.get(), image.pixels.data(), image.pixels.size(), SPNG_FMT_PNG,
                          SPNG_ENCODE_FINALIZE),
        "coding");
  std::size_t length = 0;
  int error = 0;
  void* buffer = spng_get_png_buffer(context.get(), &length, &error);
  Check(error, "coding");
  std::string bytes(static_cast<const char*>(buffer), length);
  std::free(buffer);
  return bytes;
}

RgbaImage DecodePng(std::string_view bytes) {
  Context context(spng_ctx_new(0));
  if (!context) throw KovaError("PNG decoding failed: out of memory");
  Check(spng_set_png_buffer(context.get(), bytes.data(), bytes.size()), "decoding");
  spng_ihdr header{};
  Check(spng_get_ihdr(context.get(), &header), "decoding");
  std::size_t size = 0;
  Check(spng_decoded_image_size(context.get(), SPNG_FMT_RGBA8, &size), "decoding");
  RgbaImage image;
  image.width = static_cast<int>(header.width);
  image.height = static_cast<int>(header.height);
  image.pixels.resize(size);
  Check(spng_decode_image(context.get(), image.pixels.data(), size, SPNG_FMT_RGBA8, 0), "decoding");
  return image;
}

}  // namespace kova
