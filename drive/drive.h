#pragma once
// The virtual CD drive's engine, as the talvesk-drive program uses it: open a CD image by its
// content, then serve it read-only through FUSE as the drive Wine walks, with the two files at its
// root that give Wine the drive's label and serial (.windows-label, .windows-serial).
//
// Which engine does what:
//  - libiso9660 (libcdio) recognises the image's layout (ISO 9660 in 2048-byte sectors, or raw
//    2352-byte sectors as CD rippers write them, mode 1 or mode 2 form 1) and reads its logical
//    sectors;
//  - this library reads the volume descriptors and the directory records itself, bounding every
//    size, and builds the whole tree when the image is opened (names: Rock Ridge, continuation
//    areas included, then Joliet, then ISO 9660);
//  - libfuse3 mounts the tree read-only (through fusermount3 when not root) and carries the
//    kernel's requests to a single-threaded server process.
#include <sys/types.h>

#include <cstdint>
#include <memory>
#include <string>

#include "framework/system/exceptions.h"

enum class DriveErrorKind {
  kImageUnreadable,  // the image file is missing or cannot be read
  kNotADiscImage,    // the path names something that holds no CD image (or is not a file)
  kImageDamaged,     // a CD image whose structure is broken: truncated, loops, absurd sizes
  kFuseUnavailable,  // /dev/fuse or fusermount3 is missing (Debian package fuse3)
  kMountFailed,      // mounting or unmounting failed for another reason
};

// Every failure of this library; the message is in plain words for the player.
class DriveError : public Exception {
 public:
  DriveError(DriveErrorKind kind, AnsiString message)
      : Exception(std::move(message)), kind_(kind) {}
  DriveErrorKind Kind() const noexcept { return kind_; }

 private:
  DriveErrorKind kind_;
};

class DiscFileSystem;  // the read side: drive/disc_file_system.h

// An opened CD image with its whole directory tree read and checked.
class DiscImage {
 public:
  // Opens the image at a host path, whatever its name; throws DriveError. Only a regular file is
  // an image: a pipe or a device is refused without being opened for reading, so this never
  // blocks. Memory and work are bounded whatever the file holds.
  explicit DiscImage(const std::string& path);
  ~DiscImage();
  DiscImage(const DiscImage&) = delete;
  DiscImage& operator=(const DiscImage&) = delete;

  // The volume label as Windows shows it (the Joliet label when there is one, else the primary
  // descriptor's, without padding), and the serial Windows derives for the disc.
  const std::string& VolumeLabel() const;
  std::uint32_t VolumeSerial() const;

  // The file system the server walks; tests and the fuzz target walk it in process.
  DiscFileSystem& FileSystem() { return *fileSystem_; }

 private:
  std::unique_ptr<DiscFileSystem> fileSystem_;
};

// Mounts the image read-only at mountPoint (an existing empty folder; file system type
// "fuse.talvesk-drive") and starts a server process for it, which serves until the file system is
// unmounted and then ends. Returns the server's pid once the mount is visible and served; the
// server is the caller's child (reap it, or end, to leave no zombie). The server holds no
// descriptor of the caller's but the image's: a lock file the caller holds stays the caller's.
// Throws DriveError; on failure nothing stays mounted. From then on the image object is only to be
// destroyed by the caller (the server has its own copy).
pid_t MountInBackground(DiscImage& image, const std::string& mountPoint);

enum class MountState {
  kNotMounted,  // nothing is mounted there
  kServed,      // this library's file system, with a live server
  kDead,        // this library's file system whose server is gone (or no longer answers)
  kForeign,     // some other file system: not this library's to unmount
};
// Never blocks on a hung server: a server that does not answer within a few seconds is dead.
MountState MountStateAt(const std::string& mountPoint);

// Unmounts this library's file system at mountPoint, lazily when it is busy, so that the mount
// point is free afterwards and the server ends; a dead mount is cleaned up the same way. Nothing
// mounted there is not an error. Throws DriveError for a foreign mount or when unmounting fails.
void Unmount(const std::string& mountPoint);
