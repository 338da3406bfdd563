#define FUSE_USE_VERSION 314
#include "drive/fuse_server.h"

#include <fuse_lowlevel.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <vector>

#include "drive/directory_record.h"
#include "drive/disc_file_system.h"
#include "drive/drive.h"

namespace {

// The image does not change while it is mounted, so the kernel may keep what it learnt.
constexpr double kCacheSeconds = 24 * 60 * 60;
// Folder entries looked at per readdir request: a request's buffer holds far fewer.
constexpr std::size_t kEntriesPerRequest = 1024;

const char* const kMountOptions =
    "ro,default_permissions,fsname=talvesk-drive,subtype=talvesk-drive";

}  // namespace

struct FuseSession::State {
  explicit State(DiscFileSystem& fileSystem) : files(fileSystem) {}

  DiscFileSystem& files;
  int readyFd = -1;
  uid_t user = getuid();
  gid_t group = getgid();
  std::vector<std::uint8_t> data;
  std::vector<DirectoryEntry> entries;
  std::vector<char> listing;

  struct stat StatOf(const FileAttributes& attributes) const {
    struct stat info {};
    info.st_ino = attributes.inode;
    // Read-only like a CD; Wine loads programs itself, so files need no execute bit.
    info.st_mode = attributes.isDirectory ? S_IFDIR | 0555 : S_IFREG | 0444;
    info.st_nlink = attributes.links;
    info.st_uid = user;
    info.st_gid = group;
    info.st_size = static_cast<off_t>(attributes.size);
    info.st_blksize = 2048;
    info.st_blocks = static_cast<blkcnt_t>((attributes.size + 511) / 512);
    info.st_atim.tv_sec = info.st_mtim.tv_sec = info.st_ctim.tv_sec = attributes.time;
    return info;
  }
};

namespace {

FuseSession::State& StateOf(fuse_req_t request) {
  return *static_cast<FuseSession::State*>(fuse_req_userdata(request));
}

void Init(void* userdata, fuse_conn_info*) {
  auto& state = *static_cast<FuseSession::State*>(userdata);
  if (state.readyFd < 0) return;
  const char ready = 1;
  (void)!write(state.readyFd, &ready, 1);
  close(state.readyFd);
  state.readyFd = -1;
}

void Lookup(fuse_req_t request, fuse_ino_t folder, const char* name) {
  const auto& state = StateOf(request);
  FileAttributes attributes;
  const int error = state.files.Lookup(folder, name, attributes);
  fuse_entry_param entry{};
  entry.entry_timeout = kCacheSeconds;
  if (error == ENOENT) {
    // Inode 0 lets the kernel remember the miss: Wine tries many spellings of a name.
    fuse_reply_entry(request, &entry);
    return;
  }
  if (error != 0) {
    fuse_reply_err(request, error);
    return;
  }
  entry.ino = attributes.inode;
  entry.attr = state.StatOf(attributes);
  entry.attr_timeout = kCacheSeconds;
  fuse_reply_entry(request, &entry);
}

void GetAttributes(fuse_req_t request, fuse_ino_t inode, fuse_file_info*) {
  const auto& state = StateOf(request);
  FileAttributes attributes;
  if (const int error = state.files.Attributes(inode, attributes); error != 0) {
    fuse_reply_err(request, error);
    return;
  }
  const struct stat info = state.StatOf(attributes);
  fuse_reply_attr(request, &info, kCacheSeconds);
}

// Opens the inode as a file or as a folder, whichever the kernel asked for.
void OpenEntry(fuse_req_t request, fuse_ino_t inode, fuse_file_info* file, bool folder) {
  FileAttributes attributes;
  int error = StateOf(request).files.Attributes(inode, attributes);
  if (error == 0 && attributes.isDirectory != folder) error = folder ? ENOTDIR : EISDIR;
  if (error == 0 && (file->flags & O_ACCMODE) != O_RDONLY) error = EROFS;
  if (error != 0) {
    fuse_reply_err(request, error);
    return;
  }
  file->keep_cache = 1;
  file->cache_readdir = folder;
  fuse_reply_open(request, file);
}

void Open(fuse_req_t request, fuse_ino_t inode, fuse_file_info* file) {
  OpenEntry(request, inode, file, false);
}

void OpenFolder(fuse_req_t request, fuse_ino_t inode, fuse_file_info* file) {
  OpenEntry(request, inode, file, true);
}

void Read(fuse_req_t request, fuse_ino_t inode, size_t size, off_t offset, fuse_file_info*) {
  auto& state = StateOf(request);
  if (offset < 0) {
    fuse_reply_err(request, EINVAL);
    return;
  }
  const int error = state.files.Read(inode, static_cast<std::uint64_t>(offset), size, state.data);
  if (error != 0)
    fuse_reply_err(request, error);
  else
    fuse_reply_buf(request, reinterpret_cast<const char*>(state.data.data()), state.data.size());
}

void ReadFolder(fuse_req_t request, fuse_ino_t inode, size_t size, off_t offset, fuse_file_info*) {
  auto& state = StateOf(request);
  if (offset < 0) {
    fuse_reply_err(request, EINVAL);
    return;
  }
  const int error = state.files.ListFolder(inode, static_cast<std::uint64_t>(offset),
                                           kEntriesPerRequest, state.entries);
  if (error != 0) {
    fuse_reply_err(request, error);
    return;
  }
  state.listing.resize(size);
  std::size_t used = 0;
  off_t next = offset;
  for (const DirectoryEntry& entry : state.entries) {
    struct stat info {};
    info.st_ino = entry.inode;
    info.st_mode = entry.isDirectory ? S_IFDIR : S_IFREG;
    const std::string name(entry.name);
    const std::size_t needed = fuse_add_direntry(request, state.listing.data() + used, size - used,
                                                 name.c_str(), &info, next + 1);
    if (needed > size - used) break;
    used += needed;
    ++next;
  }
  fuse_reply_buf(request, state.listing.data(), used);
}

void FileSystemStatus(fuse_req_t request, fuse_ino_t) {
  const auto& files = StateOf(request).files;
  struct statvfs status {};
  status.f_bsize = status.f_frsize = 2048;
  status.f_blocks = files.VolumeSectors();
  status.f_files = files.InodeCount();
  status.f_namemax = kMaxNameBytes;
  fuse_reply_statfs(request, &status);
}

std::string lastLibraryMessage;

void KeepLibraryMessage(fuse_log_level, const char* format, va_list arguments) {
  char text[512];
  std::vsnprintf(text, sizeof text, format, arguments);
  lastLibraryMessage = text;
  while (!lastLibraryMessage.empty() &&
         (lastLibraryMessage.back() == '\n' || lastLibraryMessage.back() == '.'))
    lastLibraryMessage.pop_back();
}

}  // namespace

FuseSession::FuseSession(DiscFileSystem& files) : state_(std::make_unique<State>(files)) {
  static const fuse_lowlevel_ops operations = [] {
    fuse_lowlevel_ops ops{};
    ops.init = Init;
    ops.lookup = Lookup;
    ops.getattr = GetAttributes;
    ops.open = Open;
    ops.read = Read;
    ops.opendir = OpenFolder;
    ops.readdir = ReadFolder;
    ops.statfs = FileSystemStatus;
    return ops;
  }();
  char program[] = "talvesk-drive";
  char optionFlag[] = "-o";
  std::string options = kMountOptions;
  char* arguments[] = {program, optionFlag, options.data(), nullptr};
  fuse_args args = FUSE_ARGS_INIT(3, arguments);
  session_ = fuse_session_new(&args, &operations, sizeof operations, state_.get());
  fuse_opt_free_args(&args);
  if (session_ == nullptr)
    throw DriveError(DriveErrorKind::kMountFailed, "The FUSE library could not start a session.");
}

FuseSession::~FuseSession() { fuse_session_destroy(session_); }

void FuseSession::Mount(const std::string& mountPoint) {
  lastLibraryMessage.clear();
  fuse_set_log_func(KeepLibraryMessage);
  const int result = fuse_session_mount(session_, mountPoint.c_str());
  fuse_set_log_func(nullptr);
  if (result != 0)
    throw DriveError(DriveErrorKind::kMountFailed,
                     "The disc image could not be mounted at \"" + mountPoint + "\"" +
                         (lastLibraryMessage.empty() ? "" : ": " + lastLibraryMessage) + ".");
}

void FuseSession::Unmount() { fuse_session_unmount(session_); }

int FuseSession::DeviceDescriptor() const { return fuse_session_fd(session_); }

int FuseSession::Serve(int readyFd) {
  state_->readyFd = readyFd;
  return fuse_session_loop(session_) == 0 ? 0 : 1;
}
