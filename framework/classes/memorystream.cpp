#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "framework/classes/file_save.h"
#include "framework/classes/stream.h"
#include "framework/system/exceptions.h"

namespace {

// Nothing larger than the machine's physical memory is attempted: with overcommit such a block
// would "succeed" and the process would be killed later when the pages are touched.
std::int64_t LargestBlock() {
  static const std::int64_t largest = [] {
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long pageSize = sysconf(_SC_PAGESIZE);
    if (pages <= 0 || pageSize <= 0) return std::int64_t{1} << 40;
    return static_cast<std::int64_t>(pages) * pageSize;
  }();
  return largest;
}

[[noreturn]] void OutOfResources() { throw EOutOfResources("Out of system resources"); }

}  // namespace

void TMemoryStream::FreeBlock::operator()(std::uint8_t* block) const noexcept { std::free(block); }

std::int64_t TMemoryStream::Read(void* buffer, std::int64_t count) {
  if (count <= 0 || position_ >= size_) return 0;
  const std::int64_t n = std::min(count, size_ - position_);
  std::memcpy(buffer, data_.get() + position_, static_cast<std::size_t>(n));
  position_ += n;
  return n;
}

std::int64_t TMemoryStream::Write(const void* buffer, std::int64_t count) {
  if (count <= 0) return 0;
  if (count > std::numeric_limits<std::int64_t>::max() - position_) return 0;
  const std::int64_t end = position_ + count;
  if (end > capacity_) {
    // Geometric growth keeps a run of small writes linear. A block that cannot be had is
    // reported as nothing written, so exact writes fail with EWriteError and callers that
    // cannot take an exception (codec callbacks) see a short count.
    const std::int64_t grown = capacity_ + capacity_ / 2;
    try {
      Reserve(std::max({end, grown, std::int64_t{256}}));
    } catch (const EOutOfResources&) {
      try {
        Reserve(end);
      } catch (const EOutOfResources&) {
        return 0;
      }
    }
  }
  // A write beyond the end leaves a gap that reads as zeros, also where a shrink left old bytes.
  if (position_ > size_) {
    std::memset(data_.get() + size_, 0, static_cast<std::size_t>(position_ - size_));
  }
  std::memcpy(data_.get() + position_, buffer, static_cast<std::size_t>(count));
  position_ = end;
  size_ = std::max(size_, end);
  return count;
}

std::int64_t TMemoryStream::Seek(std::int64_t offset, TSeekOrigin origin) {
  std::int64_t base = 0;
  switch (origin) {
    case TSeekOrigin::soBeginning:
      base = 0;
      break;
    case TSeekOrigin::soCurrent:
      base = position_;
      break;
    case TSeekOrigin::soEnd:
      base = size_;
      break;
  }
  if ((offset > 0 && base > std::numeric_limits<std::int64_t>::max() - offset) ||
      base + offset < 0) {
    throw EStreamError("Invalid stream position");
  }
  position_ = base + offset;
  return position_;
}

void TMemoryStream::SetSize64(std::int64_t newSize) {
  if (newSize < 0) OutOfResources();
  if (newSize == 0) {
    Clear();
    return;
  }
  if (newSize > capacity_) Reserve(newSize);
  // Bytes past the old end read as zero, whatever the block held there.
  if (newSize > size_)
    std::memset(data_.get() + size_, 0, static_cast<std::size_t>(newSize - size_));
  size_ = newSize;
  position_ = std::min(position_, size_);
}

void TMemoryStream::Clear() {
  data_.reset();
  size_ = capacity_ = position_ = 0;
}

// The capacity past the end is not cleared here: SetSize64 and writes past the end clear the
// bytes they expose. realloc grows in place where it can, and moves large blocks by remapping
// their pages rather than copying them.
void TMemoryStream::Reserve(std::int64_t capacity) {
  if (capacity <= capacity_) return;
  if (capacity > LargestBlock()) OutOfResources();
  auto* block =
      static_cast<std::uint8_t*>(std::realloc(data_.get(), static_cast<std::size_t>(capacity)));
  if (block == nullptr) OutOfResources();
  (void)data_.release();  // realloc took it over
  data_.reset(block);
  capacity_ = capacity;
}

void TMemoryStream::LoadFromFile(const AnsiString& fileName) {
  TFileStream file(fileName, fmOpenRead);
  const std::int64_t size = file.GetSize();
  TMemoryStream loaded;
  loaded.SetSize64(size);
  file.ReadBuffer(loaded.Memory(), size);
  data_ = std::move(loaded.data_);
  size_ = loaded.size_;
  capacity_ = loaded.capacity_;
  position_ = 0;
}

void TMemoryStream::SaveToFile(const AnsiString& fileName) {
  SaveFileReplacing(fileName, [this](TStream& file) { file.WriteBuffer(Memory(), size_); });
}
