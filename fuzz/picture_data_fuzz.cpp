// The picture holder's Data property: class name byte, class name, graphic payload.
#include "framework/graphics/picture.h"
#include "fuzz/fuzz_support.h"
#include "jpeg/jpeg.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  TPicture picture;
  ReadThenWriteFormData(picture, data, size);
  return 0;
}
