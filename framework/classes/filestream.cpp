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

TFileStream::TFileStream(const AnsiString& fileName, unsigned mode) {
  const AnsiString hostPath = HostPathFromWindows(fileName);
  fd_ = ::open(hostPath.c_str(), OpenFlags(mode) | O_CLOEXEC, 0666);
  if (fd_ < 0) OpenFailed(fileName, errno);
  // open(2) accepts a folder for reading; a folder is not a file stream.
  struct stat info {};
  if (::fstat(fd_, &info) != 0 || S_ISDIR(info.st_mode)) {
    const int error = S_ISDIR(info.st_mode) ? EISDIR : errno;
    ::close(fd_);
    fd_ = -1;
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
    if (put <= 0) break;
    done += put;
  }
  return done;
}

std::int64_t TFileStream::Seek(std::int64_t offset, TSeekOrigin origin) {
  int whence = SEEK_SET;
  if (origin == TSeekOrigin::soCurrent) whence = SEEK_CUR;
  if (origin == TSeekOrigin::soEnd) whence = SEEK_END;
  const off_t position = ::lseek(fd_, static_cast<off_t>(offset), whence);
  if (position < 0)
    throw EStreamError(AnsiString("Invalid stream position. ") + std::strerror(errno));
  return position;
}

void TFileStream::SetSize64(std::int64_t newSize) {
  if (newSize < 0 || ::ftruncate(fd_, static_cast<off_t>(newSize)) != 0) {
    throw EStreamError(AnsiString("Stream size cannot be changed. ") +
                       std::strerror(newSize < 0 ? EINVAL : errno));
  }
  if (GetPosition() > newSize) SetPosition(newSize);
}
