// Windows command-line splitting and path mapping.
#include "framework/platform/paths.h"
#include "framework/platform/process.h"
#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const AnsiString text(reinterpret_cast<const char*>(data), size);
  ExpectOnlyReportedFailures([&] {
    (void)SplitWindowsCommandLine(text);
    (void)ExtractFileDir(text);
    (void)ExtractFileExt(text);
    (void)WindowsPathFromHost(text);
    // Host look-ups only below a scratch prefix: a fuzzer must not wander the real file system.
    (void)HostPathFromWindows("Q:\\" + text);
  });
  return 0;
}
