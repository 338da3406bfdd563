#include "tools/talvesk-jpeg/pnm_format.h"

#include <limits>
#include <string>
#include <vector>

#include "framework/system/exceptions.h"

namespace {

// Header numbers bigger than this are refused while they are read: no bitmap is that wide.
constexpr std::int64_t kMaxHeaderNumber = std::numeric_limits<std::int32_t>::max();

[[noreturn]] void Invalid(const std::string& reason) {
  throw EInvalidGraphic("PPM/PGM file is not valid: " + reason);
}

bool IsSpace(int c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

// Reads the header one byte at a time, so that the stream stops at the first byte of pixels.
class HeaderReader {
 public:
  explicit HeaderReader(TStream& stream) : stream_(stream) {}

  int Next() {
    std::uint8_t byte = 0;
    return stream_.Read(&byte, 1) == 1 ? byte : -1;
  }

  // A decimal number after whitespace and comments ("#" to the end of the line).
  std::int64_t Number(const char* what) {
    int c = Next();
    while (IsSpace(c) || c == '#') {
      if (c == '#') {
        while (c != '\n' && c != '\r' && c != -1) c = Next();
      }
      c = Next();
    }
    if (c < '0' || c > '9') Invalid(std::string("no ") + what);
    std::int64_t value = 0;
    for (; c >= '0' && c <= '9'; c = Next()) {
      value = value * 10 + (c - '0');
      if (value > kMaxHeaderNumber) Invalid(std::string(what) + " too large");
    }
    // The one whitespace character after the last number is the header's end.
    if (!IsSpace(c)) Invalid(std::string("no whitespace after the ") + what);
    return value;
  }

 private:
  TStream& stream_;
};

}  // namespace

bool LooksLikePnm(const std::uint8_t* start, std::size_t size) {
  return size >= 2 && start[0] == 'P' && start[1] >= '1' && start[1] <= '7';
}

bool ReadPnm(TBitmap& bitmap, TStream& stream) {
  HeaderReader header(stream);
  const int magic = header.Next() == 'P' ? header.Next() : -1;
  if (magic != '5' && magic != '6') {
    throw EInvalidGraphic(std::string("Netpbm P") + static_cast<char>(magic) +
                          " files are not read: only binary PGM (P5) and PPM (P6) with maxval 255");
  }
  const bool gray = magic == '5';
  const std::int64_t width = header.Number("width");
  const std::int64_t height = header.Number("height");
  const std::int64_t maxval = header.Number("maxval");
  if (width == 0 || height == 0) Invalid("no pixels");
  if (maxval != 255) {
    throw EInvalidGraphic("PPM/PGM maxval " + std::to_string(maxval) +
                          " is not read: only 255 (8-bit samples)");
  }
  const std::int64_t rowBytes = width * (gray ? 1 : 3);
  // Checked before anything is allocated: a header costs nothing to write.
  if ((stream.GetSize() - stream.GetPosition()) / rowBytes < height) {
    Invalid("the file holds fewer pixels than its header announces");
  }
  StartBitmap(bitmap, static_cast<int>(width), static_cast<int>(height));
  std::vector<std::uint8_t> row(static_cast<std::size_t>(rowBytes));
  for (int y = 0; y < height; ++y) {
    stream.ReadBuffer(row.data(), rowBytes);
    StoreRow(bitmap, y, row.data(), gray);
  }
  return gray;
}

void WritePnm(PixelRows& rows, bool gray, TStream& stream) {
  const std::string header = std::string(gray ? "P5" : "P6") + "\n" + std::to_string(rows.Width()) +
                             " " + std::to_string(rows.Height()) + "\n255\n";
  stream.WriteBuffer(header.data(), static_cast<std::int64_t>(header.size()));
  const std::int64_t rowBytes = std::int64_t{rows.Width()} * (gray ? 1 : 3);
  std::vector<std::uint8_t> row(static_cast<std::size_t>(rowBytes));
  for (int y = 0; y < rows.Height(); ++y) {
    rows.Row(y, gray, row.data());
    stream.WriteBuffer(row.data(), rowBytes);
  }
}
