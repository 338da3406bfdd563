#pragma once
// Memory for bitmap pixels. Small blocks come from the C library; large ones straight from the
// kernel, advised for huge pages, and the most recently released large block (up to 128 MiB)
// is kept for the next one: pictures of one size decoded one after another then reuse memory
// that is already mapped instead of having the kernel fault in and clear it anew every time.
#include <cstddef>
#include <cstdint>
#include <memory>

// Pixel memory of `bytes` bytes, zeroed when asked, otherwise as the memory held it. Throws
// EOutOfResources when there is none.
std::shared_ptr<std::uint8_t[]> NewPixelBlock(std::size_t bytes, bool zeroed);

// Gives the kept large block back to the kernel (for tests and for callers about to go idle).
void ReleaseKeptPixelBlock();
