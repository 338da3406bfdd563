#include "framework/graphics/pixel_memory.h"

#include <sys/mman.h>

#include <cstdlib>
#include <cstring>
#include <mutex>
#include <utility>

#include "framework/system/exceptions.h"

namespace {

[[noreturn]] void OutOfResources() { throw EOutOfResources("Out of system resources"); }

// From this size on, blocks are mapped by us rather than by the C library, which would map them
// too but in small pages: a 36 MB image then costs 18 page faults instead of 9000. Smaller
// blocks stay with the C library, which reuses recently freed memory by itself.
constexpr std::size_t kMappedBlockBytes = std::size_t{32} << 20;

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
  Mapping dropped;
  {
    std::lock_guard lock(keptMutex);
    dropped = std::exchange(kept, released);
  }
  if (dropped.address != nullptr) munmap(dropped.address, dropped.bytes);
}

std::shared_ptr<std::uint8_t[]> NewMappedBlock(std::size_t bytes, bool zeroed) {
  Mapping mapping = TakeKept(bytes);
  if (mapping.address != nullptr) {
    if (zeroed) std::memset(mapping.address, 0, bytes);
  } else {
    ReleaseKeptPixelBlock();  // it did not fit: give it back before mapping more
    void* block = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (block == MAP_FAILED) OutOfResources();
    madvise(block, bytes, MADV_HUGEPAGE);  // only advice: without it the pages are small
    mapping = {block, bytes};              // fresh pages read as zero
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
