#pragma once
// The read side of the drive: the image's whole tree, read and checked when the image is opened,
// answered as the FUSE server answers the kernel (and as the fuzz target walks it). Besides the
// image's files the root holds .windows-label and .windows-serial, which Wine reads for the
// drive's label and serial.
//
// Inode numbers: the root is 1, the two label files 2 and 3, the image's entries 4 on, in the
// order the tree is read, so that they are the same on every mount of the image.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "drive/image_source.h"

constexpr std::uint64_t kRootInode = 1;
constexpr std::uint64_t kLabelFileInode = 2;
constexpr std::uint64_t kSerialFileInode = 3;

struct FileAttributes {
  std::uint64_t inode = 0;
  bool isDirectory = false;
  std::uint64_t size = 0;
  std::int64_t time = 0;  // seconds since 1970, UTC
  std::uint32_t links = 1;
};

struct DirectoryEntry {
  std::string_view name;
  std::uint64_t inode = 0;
  bool isDirectory = false;
};

class DiscFileSystem {
 public:
  // Throws DriveError (see DiscImage).
  explicit DiscFileSystem(const std::string& path);

  const std::string& VolumeLabel() const { return label_; }
  std::uint32_t VolumeSerial() const { return serial_; }
  std::uint32_t VolumeSectors() const { return source_.SectorCount(); }
  std::uint64_t InodeCount() const { return nodes_.size() + 2; }

  // These return 0 or an errno value, as FUSE replies.
  int Attributes(std::uint64_t inode, FileAttributes& out) const;
  int Lookup(std::uint64_t folder, std::string_view name, FileAttributes& out) const;
  // At most limit entries of the folder from position `first` on, "." and ".." first; positions
  // are stable. The names live as long as this object.
  int ListFolder(std::uint64_t folder, std::uint64_t first, std::size_t limit,
                 std::vector<DirectoryEntry>& out) const;
  // Reads up to size bytes (at most kMaxReadBytes) at offset into out; EIO when a sector cannot
  // be read, EISDIR for a folder.
  int Read(std::uint64_t inode, std::uint64_t offset, std::size_t size,
           std::vector<std::uint8_t>& out) const;
  static constexpr std::size_t kMaxReadBytes = 1 << 20;

  // For a forked server: its own file offset, and which descriptors it must keep.
  void ReopenPrivately() { source_.ReopenPrivately(); }
  bool IsImageDescriptor(int fd) const { return source_.IsImageDescriptor(fd); }

 private:
  struct Node {
    std::string name;
    std::uint32_t extent = 0;
    std::uint32_t size = 0;
    std::int64_t time = 0;
    std::uint32_t parent = 0;
    std::uint32_t firstChild = 0;  // into children_, for a folder
    std::uint32_t childCount = 0;
    std::uint32_t subfolders = 0;
    bool isDirectory = false;
    bool sizeFromSelfRecord = false;  // a relocated folder: its own "." record gives its size
  };
  enum class Names { kRockRidge, kJoliet, kIso };
  class TreeReader;

  const Node* NodeOf(std::uint64_t inode) const;
  void AddLabelFiles();
  FileAttributes AttributesOf(std::uint32_t index) const;

  ImageSource source_;
  std::string label_;
  std::uint32_t serial_ = 0;
  std::string labelFile_, serialFile_;
  std::vector<Node> nodes_;  // [0] is the root
  std::vector<std::uint32_t> children_;
};
