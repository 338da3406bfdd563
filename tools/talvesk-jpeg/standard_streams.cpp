#include "tools/talvesk-jpeg/standard_streams.h"

#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>

#include "framework/classes/stream.h"
#include "framework/system/exceptions.h"

namespace {

constexpr const char* kStandardStream = "-";
// A pipe has no size to check up front; past this, input is not a picture worth holding.
constexpr std::int64_t kMaxStandardInput = std::int64_t{1} << 30;

void ReadStandardInput(TMemoryStream& stream) {
  std::uint8_t chunk[1 << 16];
  for (;;) {
    const ssize_t got = ::read(STDIN_FILENO, chunk, sizeof chunk);
    if (got == 0) break;
    if (got < 0) {
      if (errno == EINTR) continue;
      throw EReadError(std::string("Cannot read standard input. ") + std::strerror(errno));
    }
    if (stream.GetSize() + got > kMaxStandardInput) {
      throw EReadError("Standard input holds more than 1 GiB");
    }
    stream.WriteBuffer(chunk, got);
  }
  stream.SetPosition(0);
}

void WriteStandardOutput(TMemoryStream& stream) {
  const std::uint8_t* next = stream.Memory();
  std::int64_t left = stream.GetSize();
  while (left > 0) {
    const ssize_t put = ::write(STDOUT_FILENO, next, static_cast<std::size_t>(left));
    if (put < 0) {
      if (errno == EINTR) continue;
      throw EWriteError(std::string("Cannot write standard output. ") + std::strerror(errno));
    }
    next += put;
    left -= put;
  }
}

}  // namespace

void LoadGraphic(TGraphic& graphic, const std::string& name) {
  if (name != kStandardStream) {
    graphic.LoadFromFile(name);
    return;
  }
  TMemoryStream input;
  ReadStandardInput(input);
  graphic.LoadFromStream(input);
}

void SaveGraphic(TGraphic& graphic, const std::string& name) {
  if (name != kStandardStream) {
    graphic.SaveToFile(name);
    return;
  }
  TMemoryStream output;
  graphic.SaveToStream(output);
  WriteStandardOutput(output);
}
