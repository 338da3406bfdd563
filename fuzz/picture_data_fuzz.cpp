// The picture holder's Data property: class name byte, class name, graphic payload.
#include "framework/graphics/picture.h"
#include "fuzz/fuzz_support.h"
#include "jpeg/jpeg.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  TPicture picture;
  ExpectOnlyReportedFailures([&] {
    auto stream = StreamOf(data, size);
    picture.ReadData(*stream);
    TMemoryStream copy;
    picture.WriteData(copy);
  });
  return 0;
}
