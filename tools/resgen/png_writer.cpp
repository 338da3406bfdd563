#include "tools/resgen/png_writer.h"

#include <png.h>

#include <stdexcept>
#include <string>

Bytes EncodePng(const RgbaImage& image) {
  // libpng's simplified interface keeps its error handling (setjmp) inside the library and
  // reports failure through the return value and the message.
  png_image png{};
  png.version = PNG_IMAGE_VERSION;
  png.width = static_cast<png_uint_32>(image.size);
  png.height = static_cast<png_uint_32>(image.size);
  png.format = PNG_FORMAT_RGBA;
  const auto fail = [&png]() {
    const std::string message = png.message;
    png_image_free(&png);
    throw std::runtime_error("libpng: " + message);
  };
  // The first call only measures; the second writes into a buffer of that size.
  png_alloc_size_t size = 0;
  if (png_image_write_to_memory(&png, nullptr, &size, 0, image.rgba.data(), 0, nullptr) == 0)
    fail();
  Bytes out(size);
  if (png_image_write_to_memory(&png, out.data(), &size, 0, image.rgba.data(), 0, nullptr) == 0)
    fail();
  out.resize(size);
  return out;
}
