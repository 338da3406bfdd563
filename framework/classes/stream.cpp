#include "framework/classes/stream.h"

#include <algorithm>

#include "framework/system/exceptions.h"

void TStream::SetSize64(std::int64_t) { throw EStreamError("Stream size cannot be changed"); }

std::int64_t TStream::GetSize() {
  const std::int64_t position = Seek(0, TSeekOrigin::soCurrent);
  const std::int64_t size = Seek(0, TSeekOrigin::soEnd);
  Seek(position, TSeekOrigin::soBeginning);
  return size;
}

void TStream::ReadBuffer(void* buffer, std::int64_t count) {
  if (count < 0) throw EReadError("Stream read error");
  auto* bytes = static_cast<std::uint8_t*>(buffer);
  // A stream may hand over less than asked without being at its end; only 0 means the end.
  while (count > 0) {
    const std::int64_t got = Read(bytes, count);
    if (got <= 0) throw EReadError("Stream read error");
    bytes += got;
    count -= got;
  }
}

void TStream::WriteBuffer(const void* buffer, std::int64_t count) {
  if (count < 0) throw EWriteError("Stream write error");
  const auto* bytes = static_cast<const std::uint8_t*>(buffer);
  while (count > 0) {
    const std::int64_t put = Write(bytes, count);
    if (put <= 0) throw EWriteError("Stream write error");
    bytes += put;
    count -= put;
  }
}

std::int64_t TStream::CopyFrom(TStream& source, std::int64_t count) {
  if (count < 0) throw EReadError("Stream read error");
  if (count == 0) {
    source.SetPosition(0);
    count = source.GetSize();
  }
  constexpr std::int64_t kChunk = 64 * 1024;
  std::vector<std::uint8_t> chunk(static_cast<std::size_t>(std::min(count, kChunk)));
  for (std::int64_t left = count; left > 0;) {
    const std::int64_t piece = std::min(left, kChunk);
    source.ReadBuffer(chunk.data(), piece);
    WriteBuffer(chunk.data(), piece);
    left -= piece;
  }
  return count;
}
