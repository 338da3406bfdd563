#include "framework/graphics/pixel_memory.h"

#include <sys/mman.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <utility>

#include "framework/system/exceptions.h"

namespace {

[[noreturn]] void OutOfResources() { throw EOutOfResources("Out of system resources"); }

// From this size on, blocks are mapped by us rather than by the C library, which would map them
// too but in small pages: a 1920 x 1080 image then costs 3 page faults instead of 1500, a
// 4000 x 3000 one 18 instead of 9000. Smaller blocks stay with the C library, which reuses
// recently freed memory by itself. Address-sanitized builds take every block from the C library, so
// that the sanitizer sees overruns of large bitmaps too.
#if defined(__SANITIZE_ADDRESS__)
#define TALVESK_CHECKED_MEMORY 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TALVESK_CHECKED_MEMORY 1
#endif
#endif
#if defined(TALVESK_CHECKED_MEMORY)
constexpr std::size_t kMappedBlockBytes = SIZE_MAX;
#else
constexpr std::size_t kMappedBlockBytes = std::size_t{4} << 20;
#endif
constexpr std::size_t kHugePage = std::size_t{2} << 20;
// Larger blocks go back to the kernel at once: keeping one would hold that much memory for as
// long as no other large bitmap comes along.
constexpr std::size_t kKeptBlockLimit = std::size_t{128} << 20;

struct Mapping {
  void* address = nullptr;
  std::size_t bytes = 0;
};

// The one released mapping kept for reuse. Pixel blocks may be released on any thread.
std::mutex keptMutex;
Mapping kept;

Mapping TakeKept(std::size_t bytes) {
  std::lock_guard lock(keptMutex);
  // A much larger mapping would hold on to memory the new block never uses.
  if (kept.address == nullptr || kept.bytes < bytes || kept.bytes - bytes > bytes / 4) return {};
  return std::exchange(kept, Mapping{});
}

void Keep(Mapping released) {
  if (released.bytes > kKeptBlockLimit) {
    munmap(released.address, released.bytes);
    return;
  }
  Mapping dropped;
  {
    std::lock_guard lock(keptMutex);
    dropped = std::exchange(kept, released);
  }
  if (dropped.address != nullptr) munmap(dropped.address, dropped.bytes);
}

// Huge pages cover only whole, aligned 2 MiB stretches of a mapping, so the mapping starts on a
// huge page and, where that costs at most an eighth more, ends on one too.
Mapping MapHugePageAligned(std::size_t bytes) {
  const std::size_t rounded = (bytes + kHugePage - 1) / kHugePage * kHugePage;
  const std::size_t length = rounded - bytes <= bytes / 8 ? rounded : (bytes + 4095) / 4096 * 4096;
  void* area =
      mmap(nullptr, length + kHugePage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (area == MAP_FAILED) OutOfResources();
  const auto start = reinterpret_cast<std::uintptr_t>(area);
  const std::uintptr_t aligned = (start + kHugePage - 1) / kHugePage * kHugePage;
  if (aligned > start) munmap(area, aligned - start);
  const std::size_t tail = start + kHugePage - aligned;
  if (tail > 0) munmap(reinterpret_cast<void*>(aligned + length), tail);
  void* block = reinterpret_cast<void*>(aligned);
  madvise(block, length, MADV_HUGEPAGE);  // only advice: without it the pages are small
  return {block, length};
}

std::shared_ptr<std::uint8_t[]> NewMappedBlock(std::size_t bytes, bool zeroed) {
  Mapping mapping = TakeKept(bytes);
  if (mapping.address != nullptr) {
    if (zeroed) std::memset(mapping.address, 0, bytes);
  } else {
    ReleaseKeptPixelBlock();              // it did not fit: give it back before mapping more
    mapping = MapHugePageAligned(bytes);  // fresh pages read as zero
  }
  return {static_cast<std::uint8_t*>(mapping.address), [mapping](std::uint8_t*) { Keep(mapping); }};
}

}  // namespace

std::shared_ptr<std::uint8_t[]> NewPixelBlock(std::size_t bytes, bool zeroed) {
  if (bytes >= kMappedBlockBytes) return NewMappedBlock(bytes, zeroed);
  void* block = zeroed ? std::calloc(bytes, 1) : std::malloc(bytes);
  if (block == nullptr) OutOfResources();
  return {static_cast<std::uint8_t*>(block), [](std::uint8_t* pixels) { std::free(pixels); }};
}

void ReleaseKeptPixelBlock() {
  Mapping dropped;
  {
    std::lock_guard lock(keptMutex);
    dropped = std::exchange(kept, Mapping{});
  }
  if (dropped.address != nullptr) munmap(dropped.address, dropped.bytes);
}
