#include "tests/support/jpeg_files.h"

#include <stdexcept>
#include <string>

#include "tests/support/shell.h"

void MakeCover(const std::filesystem::path& file, int width, int height) {
  const std::string half = std::to_string(width / 2) + "x" + std::to_string(height);
  const std::string command = "convert -size " + half + " xc:'#0000ff' -size " + half +
                              " xc:'#ffff00' +append -quality 95 '" + file.string() + "'";
  if (RunShell(command) != 0) throw std::runtime_error("failed: " + command);
}

std::size_t SegmentAt(const Bytes& jpeg, std::uint8_t first, std::uint8_t last) {
  for (std::size_t at = 2; at + 3 < jpeg.size();) {
    if (jpeg[at + 1] >= first && jpeg[at + 1] <= last) return at;
    at += 2 + (std::size_t{jpeg[at + 2]} << 8 | jpeg[at + 3]);
  }
  throw std::runtime_error("no such segment");
}

Bytes WithFrameSize(Bytes jpeg, int width, int height) {
  const std::size_t frame = FrameHeaderAt(jpeg);
  jpeg.at(frame + 5) = static_cast<std::uint8_t>(height >> 8);
  jpeg.at(frame + 6) = static_cast<std::uint8_t>(height);
  jpeg.at(frame + 7) = static_cast<std::uint8_t>(width >> 8);
  jpeg.at(frame + 8) = static_cast<std::uint8_t>(width);
  return jpeg;
}
