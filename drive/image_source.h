#pragma once
// The image file and its logical 2048-byte sectors, whatever layout the file holds them in
// (libiso9660 recognises it: plain 2048-byte sectors or raw 2352-byte ones).
#include <sys/types.h>

#include <cstdint>
#include <string>

constexpr std::uint32_t kSectorBytes = 2048;

class ImageSource {
 public:
  // Throws DriveError: missing or unreadable (naming the file), not a regular file, no ISO 9660
  // volume in it. Never opens a pipe or device for reading.
  explicit ImageSource(const std::string& path);
  ~ImageSource();
  ImageSource(const ImageSource&) = delete;
  ImageSource& operator=(const ImageSource&) = delete;

  const std::string& Path() const { return path_; }
  // How many whole logical sectors the file holds.
  std::uint32_t SectorCount() const { return sectorCount_; }
  // Reads count sectors from the first into out (count * 2048 bytes); false when one of them is
  // not in the file or the read fails.
  bool ReadSectors(std::uint32_t first, std::uint32_t count, std::uint8_t* out) const;

  // Whether a descriptor refers to the image file (the one given, or the library's own).
  bool IsImageDescriptor(int fd) const;
  // Opens the library's handle again, so that this process reads with a file offset of its own
  // (a forked server must not share one with its parent).
  void ReopenPrivately();

 private:
  void OpenLibraryHandle();

  std::string path_;
  int fd_ = -1;
  dev_t device_ = 0;
  ino_t inode_ = 0;
  struct _iso9660_s* iso_ = nullptr;
  std::uint32_t sectorCount_ = 0;
};
