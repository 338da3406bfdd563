#pragma once
// JPEG files for tests: covers written by ImageMagick, and header segments found and patched by
// their documented layout (marker, then a big-endian length that counts itself).
#include <cstddef>
#include <cstdint>
#include <filesystem>

#include "tests/support/files.h"

// A cover whose left half is blue and right half yellow; throws when convert fails.
void MakeCover(const std::filesystem::path& file, int width, int height);

// Where the first segment with a marker from first to last starts, walking the segments from
// the start of image; throws when there is none.
std::size_t SegmentAt(const Bytes& jpeg, std::uint8_t first, std::uint8_t last);
inline std::size_t FrameHeaderAt(const Bytes& jpeg) { return SegmentAt(jpeg, 0xC0, 0xC2); }
inline std::size_t ScanHeaderAt(const Bytes& jpeg) { return SegmentAt(jpeg, 0xDA, 0xDA); }
// The file with its frame header announcing another size: a few hundred bytes for any size.
Bytes WithFrameSize(Bytes jpeg, int width, int height);
