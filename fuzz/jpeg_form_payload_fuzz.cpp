// A picture's form payload (count + JPEG bytes), read back and written again.
#include "fuzz/fuzz_support.h"
#include "jpeg/jpeg.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  TJPEGImage picture;
  ReadThenWriteFormData(picture, data, size);
  return 0;
}
