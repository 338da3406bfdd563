// The window layout reader.
#include "framework/forms/layout.h"
#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  ExpectOnlyReportedFailures(
      [&] { (void)ParseLayout(std::string_view(reinterpret_cast<const char*>(data), size)); });
  return 0;
}
