#pragma once
// The FUSE side of the drive: a libfuse low-level session, mounted read-only, that answers the
// kernel's requests from a DiscFileSystem in a single-threaded loop.
#include <memory>
#include <string>

class DiscFileSystem;
struct fuse_session;

class FuseSession {
 public:
  // Throws DriveError.
  explicit FuseSession(DiscFileSystem& files);
  // Closes this process's copy of the FUSE device; the file system stays mounted.
  ~FuseSession();
  FuseSession(const FuseSession&) = delete;
  FuseSession& operator=(const FuseSession&) = delete;

  // Mounts at mountPoint; throws DriveError with libfuse's reason.
  void Mount(const std::string& mountPoint);
  void Unmount();
  int DeviceDescriptor() const;

  // In the server process: serves until the file system is unmounted, writing one byte to readyFd
  // (and closing it) when the kernel's first request has come. Returns an exit status.
  int Serve(int readyFd);

  struct State;  // what the request handlers share

 private:
  std::unique_ptr<State> state_;
  fuse_session* session_ = nullptr;
};
