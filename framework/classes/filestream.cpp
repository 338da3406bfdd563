#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <limits>

#include "framework/classes/stream.h"
#include "framework/platform/paths.h"
#include "framework/system/exceptions.h"

namespace {

int OpenFlags(unsigned mode) {
  if ((mode & fmCreate) == fmCreate) return O_RDWR | O_CREAT | O_TRUNC;
  switch (mode & 3U) {
    case fmOpenWrite:
      return O_WRONLY;
    case fmOpenReadWrite:
      return O_RDWR;
    default:
      return O_RDONLY;
  }
}

[[noreturn]] void OpenFailed(const AnsiString& fileName, int error) {
  throw EFOpenError("Cannot open file \"" + fileName + "\". " + std::strerror(error));
}

// Counts for read(2)/write(2) stay well inside ssize_t.
std::size_t Piece(std::int64_t count) {
  constexpr std::int64_t kMaxPiece = std::int64_t{1} << 30;
  return static_cast<std::size_t>(count < kMaxPiece ? count : kMaxPiece);
}

}  // namespace

TFileStream::TFileStream(const AnsiString& fileName, unsigned mode) : fileName_(fileName) {
  const AnsiString hostPath = HostPathFromWindows(fileName);
  const int flags = OpenFlags(mode);
  // Opening a FIFO for reading waits for a writer, for ever if none comes; a non-blocking open
  // returns at once, and whatever is not a regular file is refused before anything is read.
  const bool reading = flags == O_RDONLY;
  fd_ = ::open(hostPath.c_str(), flags | O_CLOEXEC | (reading ? O_NONBLOCK : 0), 0666);
  if (fd_ < 0) OpenFailed(fileName, errno);
  const auto discard = [this] {
    ::close(fd_);
    fd_ = -1;
  };
  struct stat info {};
  const bool statted = ::fstat(fd_, &info) == 0;
  const int statError = errno;
  // open(2) accepts a folder for reading; a folder is not a file stream.
  if (!statted || S_ISDIR(info.st_mode)) {
    discard();
    OpenFailed(fileName, statted ? EISDIR : statError);
  }
  if (reading && !S_ISREG(info.st_mode)) {
    discard();
    throw EFOpenError("Cannot open file \"" + fileName + "\". Not a regular file");
  }
  if (reading && ::fcntl(fd_, F_SETFL, ::fcntl(fd_, F_GETFL) & ~O_NONBLOCK) != 0) {
    const int error = errno;
    discard();
    OpenFailed(fileName, error);
  }
}

TFileStream::~TFileStream() {
  if (fd_ >= 0) ::close(fd_);
}

std::int64_t TFileStream::Read(void* buffer, std::int64_t count) {
  auto* bytes = static_cast<std::uint8_t*>(buffer);
  std::int64_t done = 0;
  while (done < count) {
    const ssize_t got = ::read(fd_, bytes + done, Piece(count - done));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    done += got;
  }
  return done;
}

std::int64_t TFileStream::Write(const void* buffer, std::int64_t count) {
  const auto* bytes = static_cast<const std::uint8_t*>(buffer);
  std::int64_t done = 0;
  while (done < count) {
    const ssize_t put = ::write(fd_, bytes + done, Piece(count - done));
    if (put < 0 && errno == EINTR) continue;
    if (put < 0) WriteFailed(errno);
    if (put == 0) WriteFailed(ENOSPC);
    done += put;
  }
  return done;
}

void TFileStream::WriteFailed(int error) const {
  throw EWriteError("Cannot write file \"" + fileName_ + "\". " + std::strerror(error));
}

std::int64_t TFileStream::Seek(std::int64_t offset, TSeekOrigin origin) {
  int whence = SEEK_SET;
  if (origin == TSeekOrigin::soCurrent) whence = SEEK_CUR;
  if (origin == TSeekOrigin::soEnd) whence = SEEK_END;
  const off_t position = ::lseek(fd_, static_cast<off_t>(offset), whence);
  if (position < 0) {
    // A FIFO has no position; a writer that only asks where it is gets 0.
    if (errno == ESPIPE && offset == 0) return 0;
    throw EStreamError(AnsiString("Invalid stream position. ") + std::strerror(errno));
  }
  return position;
}

void TFileStream::SetSize64(std::int64_t newSize) {
  if (newSize < 0 || ::ftruncate(fd_, static_cast<off_t>(newSize)) != 0) {
    throw EStreamError(AnsiString("Stream size cannot be changed. ") +
                       std::strerror(newSize < 0 ? EINVAL : errno));
  }
  if (GetPosition() > newSize) SetPosition(newSize);
}
