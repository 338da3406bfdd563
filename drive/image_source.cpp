#include "drive/image_source.h"

#include <cdio/iso9660.h>
#include <cdio/logging.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <limits>

#include "drive/drive.h"

namespace {

// libcdio writes its warnings to stderr and aborts on its own assertions; the drive reports
// failures itself, in words a player can act on.
void DropLibraryMessage(cdio_log_level_t, const char*) {}

// How far from the expected place libiso9660 looks for the volume descriptor: covers the 16 and
// 24 header bytes of a raw sector in mode 1 and in mode 2 form 1.
constexpr std::uint16_t kLayoutSearchBytes = 32;

std::string Quoted(const std::string& path) { return "\"" + path + "\""; }

[[noreturn]] void ThrowUnreadable(const std::string& path, int error) {
  if (error == ENOENT || error == ENOTDIR)
    throw DriveError(DriveErrorKind::kImageUnreadable,
                     "The disc image " + Quoted(path) + " does not exist.");
  if (error == EACCES || error == EPERM)
    throw DriveError(DriveErrorKind::kImageUnreadable,
                     "The disc image " + Quoted(path) + " cannot be read: permission denied.");
  throw DriveError(
      DriveErrorKind::kImageUnreadable,
      "The disc image " + Quoted(path) + " cannot be read: " + std::strerror(error) + ".");
}

void RefuseNonFile(const std::string& path, const struct stat& info) {
  if (S_ISDIR(info.st_mode))
    throw DriveError(DriveErrorKind::kNotADiscImage,
                     Quoted(path) + " is a folder, not a disc image.");
  if (!S_ISREG(info.st_mode))
    throw DriveError(
        DriveErrorKind::kNotADiscImage,
        Quoted(path) + " is not a disc image file (it is a pipe, a device or a socket).");
}

}  // namespace

ImageSource::ImageSource(const std::string& path) : path_(path) {
  static const bool quiet = (cdio_log_set_handler(DropLibraryMessage), true);
  (void)quiet;

  // A pipe or a device is refused before it is opened: opening one may block or act on hardware.
  struct stat info {};
  if (stat(path.c_str(), &info) != 0) ThrowUnreadable(path, errno);
  RefuseNonFile(path, info);
  fd_ = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd_ < 0) ThrowUnreadable(path, errno);
  try {
    // The path may have been replaced since: what counts is what was opened.
    if (fstat(fd_, &info) != 0) ThrowUnreadable(path, errno);
    RefuseNonFile(path, info);
    device_ = info.st_dev;
    inode_ = info.st_ino;
    std::uint8_t probe = 0;
    if (pread(fd_, &probe, 1, 0) < 0) ThrowUnreadable(path, errno);
    OpenLibraryHandle();

    // Sectors past the end of the file read as failures; the readable ones are a prefix.
    const auto fileSize = static_cast<std::uint64_t>(info.st_size);
    std::uint64_t readable = 0;
    std::uint64_t unreadable = std::min<std::uint64_t>(fileSize / kSectorBytes + 1,
                                                       std::numeric_limits<std::int32_t>::max());
    std::uint8_t sector[kSectorBytes];
    while (unreadable - readable > 1) {
      const std::uint64_t middle = readable + (unreadable - readable) / 2;
      if (iso9660_iso_seek_read(iso_, sector, static_cast<lsn_t>(middle - 1), 1) == kSectorBytes)
        readable = middle;
      else
        unreadable = middle;
    }
    sectorCount_ = static_cast<std::uint32_t>(readable);
  } catch (...) {
    if (iso_ != nullptr) iso9660_close(iso_);
    close(fd_);
    throw;
  }
}

ImageSource::~ImageSource() {
  iso9660_close(iso_);
  close(fd_);
}

void ImageSource::OpenLibraryHandle() {
  // The library opens by name: through /proc it opens the very file checked above.
  std::string name = "/proc/self/fd/" + std::to_string(fd_);
  if (access(name.c_str(), R_OK) != 0) name = path_;
  iso_ = iso9660_open_fuzzy_ext(name.c_str(), ISO_EXTENSION_NONE, kLayoutSearchBytes);
  if (iso_ == nullptr)
    throw DriveError(DriveErrorKind::kNotADiscImage,
                     Quoted(path_) + " is not a CD image: it holds no ISO 9660 volume.");
}

bool ImageSource::ReadSectors(std::uint32_t first, std::uint32_t count, std::uint8_t* out) const {
  if (first >= sectorCount_ || count > sectorCount_ - first) return false;
  // One at a time: for raw sectors libiso9660 reads a run of several as if they were contiguous.
  for (std::uint32_t i = 0; i < count; ++i)
    if (iso9660_iso_seek_read(iso_, out + std::size_t{i} * kSectorBytes,
                              static_cast<lsn_t>(first + i), 1) != kSectorBytes)
      return false;
  return true;
}

bool ImageSource::IsImageDescriptor(int fd) const {
  struct stat info {};
  return fstat(fd, &info) == 0 && info.st_dev == device_ && info.st_ino == inode_;
}

void ImageSource::ReopenPrivately() {
  struct _iso9660_s* shared = iso_;
  iso_ = nullptr;
  try {
    OpenLibraryHandle();
  } catch (...) {
    iso_ = shared;
    throw;
  }
  iso9660_close(shared);
}
