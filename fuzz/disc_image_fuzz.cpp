// A CD image, opened and walked the way Wine walks the mounted drive: the root listed, every
// folder to a bounded depth, every entry looked up, stat'ed and read, the label files too.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <string>
#include <vector>

#include "drive/disc_file_system.h"
#include "drive/drive.h"
#include "fuzz/fuzz_support.h"

namespace {

constexpr int kMaxDepth = 8;

void Walk(DiscFileSystem& files, std::uint64_t folder, int depth) {
  std::vector<DirectoryEntry> entries;
  for (std::uint64_t position = 0;; position += entries.size()) {
    if (files.ListFolder(folder, position, 64, entries) != 0 || entries.empty()) return;
    for (const DirectoryEntry& entry : entries) {
      FileAttributes attributes;
      // Every name listed is found again, as the same entry.
      if (files.Lookup(folder, entry.name, attributes) != 0 || attributes.inode != entry.inode)
        __builtin_trap();
      if (entry.name == "." || entry.name == "..") continue;
      if (attributes.isDirectory) {
        if (depth < kMaxDepth) Walk(files, attributes.inode, depth + 1);
        continue;
      }
      std::vector<std::uint8_t> data;
      for (std::uint64_t offset = 0; offset < attributes.size; offset += data.size())
        if (files.Read(attributes.inode, offset, 65536, data) != 0 || data.empty()) break;
      // An unaligned read too, as a program seeking in a file makes.
      files.Read(attributes.inode, attributes.size / 3 + 1, 5000, data);
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // The drive opens images by name; a memory file has one.
  const int file = memfd_create("image", MFD_CLOEXEC);
  if (file < 0 || write(file, data, size) != static_cast<ssize_t>(size)) __builtin_trap();
  ExpectOnlyReportedFailures([&] {
    DiscImage image("/proc/self/fd/" + std::to_string(file));
    Walk(image.FileSystem(), kRootInode, 0);
  });
  close(file);
  return 0;
}
