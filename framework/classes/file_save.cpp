#include "framework/classes/file_save.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <utility>

#include "framework/platform/paths.h"
#include "framework/system/exceptions.h"

namespace {

AnsiString Reason(int error) { return std::strerror(error); }

// The file stream a save writes to, over the descriptor the save opened; writing it to disk
// and closing it are checked too.
class TSaveStream : public TFileStream {
 public:
  TSaveStream(int descriptor, const AnsiString& fileName) : TFileStream(descriptor, fileName) {}

  void Flush() {
    if (::fsync(fd_) != 0) Fail(errno);
  }

  void Close() {
    const int descriptor = std::exchange(fd_, -1);
    // The descriptor is gone whatever close(2) says; its error may be the write's delayed one.
    if (::close(descriptor) != 0 && errno != EINTR) Fail(errno);
  }

  [[noreturn]] void Fail(int error) const { WriteFailed(error); }
};

[[noreturn]] void CreateFailed(const AnsiString& fileName, int error) {
  throw EFOpenError("Cannot create file \"" + fileName + "\". " + Reason(error));
}

void SaveInPlace(const AnsiString& fileName, const AnsiString& hostPath,
                 const std::function<void(TStream&)>& write) {
  const int descriptor = ::open(hostPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (descriptor < 0) CreateFailed(fileName, errno);
  TSaveStream stream(descriptor, fileName);
  write(stream);
  stream.Close();
}

// Permission bits a new file gets from open(2) with 0666: those the umask leaves.
mode_t NewFileMode() {
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return 0666 & ~mask;
}

void SaveByRename(const AnsiString& fileName, const AnsiString& hostPath, const struct stat* old,
                  const std::function<void(TStream&)>& write) {
  const auto slash = hostPath.find_last_of('/');
  const AnsiString folder =
      slash == AnsiString::npos ? AnsiString() : hostPath.substr(0, slash + 1);
  const AnsiString name = slash == AnsiString::npos ? hostPath : hostPath.substr(slash + 1);
  AnsiString temporary = folder + "." + name + ".XXXXXX";
  const int descriptor = ::mkostemp(temporary.data(), O_CLOEXEC);
  if (descriptor < 0) CreateFailed(fileName, errno);
  try {
    TSaveStream stream(descriptor, fileName);
    const mode_t mode = old != nullptr ? (old->st_mode & 07777) : NewFileMode();
    if (::fchmod(descriptor, mode) != 0) stream.Fail(errno);
    write(stream);
    stream.Flush();
    stream.Close();
    if (::rename(temporary.c_str(), hostPath.c_str()) != 0) stream.Fail(errno);
  } catch (...) {
    ::unlink(temporary.c_str());
    throw;
  }
}

void SaveReplacing(const AnsiString& fileName, const AnsiString& hostPath,
                   const std::function<void(TStream&)>& write) {
  if (hostPath.empty()) CreateFailed(fileName, ENOENT);
  struct stat info {};
  if (::lstat(hostPath.c_str(), &info) == 0) {
    if (!S_ISREG(info.st_mode)) {
      SaveInPlace(fileName, hostPath, write);
      return;
    }
    // A file the user may not write stays protected, although the folder would allow a rename.
    if (::access(hostPath.c_str(), W_OK) != 0) CreateFailed(fileName, errno);
    SaveByRename(fileName, hostPath, &info, write);
    return;
  }
  if (errno != ENOENT) CreateFailed(fileName, errno);
  SaveByRename(fileName, hostPath, nullptr, write);
}

}  // namespace

void SaveFileReplacing(const AnsiString& fileName, const std::function<void(TStream&)>& write) {
  SaveReplacing(fileName, HostPathFromWindows(fileName), write);
}

void SaveHostFileReplacing(const AnsiString& hostPath, const std::function<void(TStream&)>& write) {
  SaveReplacing(hostPath, hostPath, write);
}
