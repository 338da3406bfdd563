#include "framework/classes/file_save.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <utility>

#include "framework/platform/paths.h"
#include "framework/system/exceptions.h"

namespace {

AnsiString Reason(int error) { return std::strerror(error); }

[[noreturn]] void CreateFailed(const AnsiString& fileName, int error) {
  throw EFOpenError("Cannot create file \"" + fileName + "\". " + Reason(error));
}

// The file stream a save writes to, over the descriptor the save opened; writing it to disk
// and closing it are checked too.
class TSaveStream : public TFileStream {
 public:
  TSaveStream(int descriptor, const AnsiString& fileName) : TFileStream(descriptor, fileName) {}

  int Descriptor() const { return fd_; }

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

struct PathParts {
  AnsiString folder;  // with its trailing '/'; "" for the current directory
  AnsiString name;
};

PathParts Split(const AnsiString& path) {
  const auto slash = path.find_last_of('/');
  if (slash == AnsiString::npos) return {AnsiString(), path};
  return {path.substr(0, slash + 1), path.substr(slash + 1)};
}

// The file a save through this path replaces: symbolic links in the last component are followed
// (a link that leads nowhere yet names the file to create), so that the link stays a link.
AnsiString FollowLinks(const AnsiString& fileName, AnsiString path) {
  for (int depth = 0; depth < 40; ++depth) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return path;
    std::string target(PATH_MAX, '\0');
    const ssize_t length = ::readlink(path.c_str(), target.data(), target.size());
    if (length < 0) CreateFailed(fileName, errno);
    target.resize(static_cast<std::size_t>(length));
    path = target.starts_with('/') ? target : Split(path).folder + target;
  }
  CreateFailed(fileName, ELOOP);
}

// Permission bits a new file gets from open(2) with 0666: those the umask leaves.
mode_t NewFileMode() {
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return 0666 & ~mask;
}

// A short name no file in the folder has; the target's own name may be as long as names go.
AnsiString TemporaryName(const AnsiString& folder, int attempt) {
  thread_local std::mt19937 random{std::random_device{}() + static_cast<unsigned>(attempt)};
  static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
  AnsiString name = folder + ".talvesk-";
  for (int i = 0; i < 8; ++i) name += kLetters[random() % (sizeof kLetters - 1)];
  return name;
}

// The new file while it is written: unnamed (O_TMPFILE), so that nothing is left behind if the
// process dies, or, where the file system cannot do that, a hidden file with a short name.
struct NewFile {
  int descriptor = -1;
  AnsiString name;  // "" while unnamed
};

// -1 with errno when the folder takes no new file.
NewFile CreateInFolder(const AnsiString& folder, mode_t mode) {
  const AnsiString where = folder.empty() ? AnsiString(".") : folder;
  const int unnamed = ::open(where.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, mode);
  if (unnamed >= 0) return {unnamed, AnsiString()};
  if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) return {};
  for (int attempt = 0; attempt < 100; ++attempt) {
    AnsiString name = TemporaryName(folder, attempt);
    const int named = ::open(name.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, mode);
    if (named >= 0) return {named, std::move(name)};
    if (errno != EEXIST) return {};
  }
  return {};
}

// Gives the complete, unnamed file a short name in its folder; errno on failure.
bool NameInFolder(NewFile& file, const AnsiString& folder) {
  const AnsiString proc = "/proc/self/fd/" + std::to_string(file.descriptor);
  for (int attempt = 0; attempt < 100; ++attempt) {
    AnsiString name = TemporaryName(folder, attempt);
    // AT_EMPTY_PATH needs a capability; the descriptor's /proc link does not.
    if (::linkat(file.descriptor, "", AT_FDCWD, name.c_str(), AT_EMPTY_PATH) == 0 ||
        ::linkat(AT_FDCWD, proc.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0) {
      file.name = std::move(name);
      return true;
    }
    if (errno != EEXIST) return false;
  }
  return false;
}

// Writes the folder's entries to disk, so that the rename survives a crash too.
void FlushFolder(const AnsiString& fileName, const AnsiString& folder) {
  const AnsiString where = folder.empty() ? AnsiString(".") : folder;
  const int descriptor = ::open(where.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (descriptor < 0) return;
  const int result = ::fsync(descriptor);
  const int error = errno;
  ::close(descriptor);
  // Some file systems cannot flush a folder; theirs is flushed with the file.
  if (result != 0 && error != EINVAL && error != EROFS) {
    throw EWriteError("Cannot write file \"" + fileName + "\". " + Reason(error));
  }
}

enum class TReplaceOutcome { Replaced, FolderRefused };

// Writes a new file beside path and puts it in path's place only when complete. With old, the
// new file takes the old one's owner, group and permission bits first; when the folder takes no
// new file, or that owner or group cannot be given, nothing is written and the caller is told.
TReplaceOutcome SaveByRename(const AnsiString& fileName, const AnsiString& path,
                             const struct stat* old, const std::function<void(TStream&)>& write) {
  const AnsiString folder = Split(path).folder;
  NewFile file = CreateInFolder(folder, old != nullptr ? (old->st_mode & 0666) : 0666);
  if (file.descriptor < 0) {
    if (old != nullptr && (errno == EACCES || errno == EPERM)) {
      return TReplaceOutcome::FolderRefused;
    }
    CreateFailed(fileName, errno);
  }
  try {
    TSaveStream stream(file.descriptor, fileName);
    if (old != nullptr) {
      struct stat made {};
      if (::fstat(file.descriptor, &made) != 0) stream.Fail(errno);
      if ((made.st_uid != old->st_uid || made.st_gid != old->st_gid) &&
          ::fchown(file.descriptor, old->st_uid, old->st_gid) != 0) {
        if (errno != EPERM) stream.Fail(errno);
        if (!file.name.empty()) ::unlink(file.name.c_str());
        return TReplaceOutcome::FolderRefused;
      }
    }
    // After the owner, which may clear the set-id bits.
    const mode_t mode = old != nullptr ? (old->st_mode & 07777) : NewFileMode();
    if (::fchmod(file.descriptor, mode) != 0) stream.Fail(errno);
    write(stream);
    stream.Flush();
    if (file.name.empty() && !NameInFolder(file, folder)) stream.Fail(errno);
    stream.Close();
    if (::rename(file.name.c_str(), path.c_str()) != 0) stream.Fail(errno);
    file.name.clear();
  } catch (...) {
    if (!file.name.empty()) ::unlink(file.name.c_str());
    throw;
  }
  FlushFolder(fileName, folder);
  return TReplaceOutcome::Replaced;
}

// Overwrites an existing regular file where it is. The bytes are made first, and the new size is
// reserved before the first old byte changes, so that a full disk fails with the file intact.
void OverwriteInPlace(const AnsiString& fileName, const AnsiString& path, const struct stat& old,
                      const std::function<void(TStream&)>& write) {
  TMemoryStream bytes;
  write(bytes);
  const int descriptor = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
  if (descriptor < 0) CreateFailed(fileName, errno);
  TSaveStream stream(descriptor, fileName);
  const std::int64_t size = bytes.GetSize();
  if (size > 0) {
    if (const int error = ::posix_fallocate(descriptor, 0, static_cast<off_t>(size))) {
      struct stat now {};
      if (::fstat(descriptor, &now) == 0 && now.st_size != old.st_size) {
        [[maybe_unused]] const int ignored = ::ftruncate(descriptor, old.st_size);
      }
      stream.Fail(error);
    }
  }
  stream.WriteBuffer(bytes.Memory(), size);
  if (::ftruncate(descriptor, static_cast<off_t>(size)) != 0) stream.Fail(errno);
  stream.Flush();
  stream.Close();
}

// Devices and FIFOs: a rename would replace the node, so they are written as they are.
void WriteNode(const AnsiString& fileName, const AnsiString& path,
               const std::function<void(TStream&)>& write) {
  const int descriptor = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (descriptor < 0) CreateFailed(fileName, errno);
  TSaveStream stream(descriptor, fileName);
  write(stream);
  stream.Close();
}

void SaveReplacing(const AnsiString& fileName, const AnsiString& hostPath,
                   const std::function<void(TStream&)>& write) {
  if (hostPath.empty()) CreateFailed(fileName, ENOENT);
  const AnsiString path = FollowLinks(fileName, hostPath);
  struct stat info {};
  if (::lstat(path.c_str(), &info) != 0) {
    if (errno != ENOENT) CreateFailed(fileName, errno);
    SaveByRename(fileName, path, nullptr, write);
    return;
  }
  if (!S_ISREG(info.st_mode)) {
    WriteNode(fileName, path, write);
    return;
  }
  // A file the user may not write stays protected, although the folder would allow a rename.
  if (::access(path.c_str(), W_OK) != 0) CreateFailed(fileName, errno);
  if (SaveByRename(fileName, path, &info, write) == TReplaceOutcome::FolderRefused) {
    OverwriteInPlace(fileName, path, info, write);
  }
}

}  // namespace

void SaveFileReplacing(const AnsiString& fileName, const std::function<void(TStream&)>& write) {
  SaveReplacing(fileName, HostPathFromWindows(fileName), write);
}

void SaveHostFileReplacing(const AnsiString& hostPath, const std::function<void(TStream&)>& write) {
  SaveReplacing(hostPath, hostPath, write);
}
