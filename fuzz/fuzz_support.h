#pragma once
// Small helpers shared by the fuzz targets.
#include <cstddef>
#include <cstdint>
#include <memory>

#include "framework/classes/stream.h"
#include "framework/platform/clock.h"
#include "framework/system/exceptions.h"

// A memory stream holding the bytes, positioned at 0.
inline std::unique_ptr<TMemoryStream> StreamOf(const std::uint8_t* data, std::size_t size) {
  auto stream = std::make_unique<TMemoryStream>();
  stream->WriteBuffer(data, static_cast<std::int64_t>(size));
  stream->SetPosition(0);
  return stream;
}

// Only failures the code reports are expected; anything else (a crash, a sanitizer report, an
// exception outside the framework's tree) ends the run.
template <class F>
void ExpectOnlyReportedFailures(F&& f) {
  try {
    f();
  } catch (const Exception&) {
  }
}

// Reads form data (a TGraphic's payload or a TPicture's Data property) and writes it again.
template <class Holder>
void ReadThenWriteFormData(Holder& holder, const std::uint8_t* data, std::size_t size) {
  ExpectOnlyReportedFailures([&] {
    holder.ReadData(*StreamOf(data, size));
    TMemoryStream copy;
    holder.WriteData(copy);
  });
}

// For a scope, every clock read is 600 ms after the last, so that every progress callback of the
// library may send a running notification (the real clock lets through one per 500 ms).
class FastClock {
 public:
  FastClock() {
    SetTickCountSource([tick = std::uint32_t{1}]() mutable { return tick += 600; });
  }
  ~FastClock() { SetTickCountSource({}); }
  FastClock(const FastClock&) = delete;
  FastClock& operator=(const FastClock&) = delete;
};
