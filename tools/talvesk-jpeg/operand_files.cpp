#include "tools/talvesk-jpeg/operand_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>

#include "framework/classes/file_save.h"
#include "framework/system/exceptions.h"

namespace {

constexpr const char* kStandardStream = "-";
// A pipe has no size to check up front; past this, input is not a picture worth holding.
constexpr std::int64_t kMaxStreamedInput = std::int64_t{1} << 30;

[[noreturn]] void OpenFailed(const std::string& name, int error) {
  throw EFOpenError("Cannot open file \"" + name + "\". " + std::strerror(error));
}

// A file stream over a regular file this program opened itself.
class OpenedFile : public TFileStream {
 public:
  OpenedFile(int descriptor, const std::string& name) : TFileStream(descriptor, name) {}
};

std::unique_ptr<TMemoryStream> ReadWhole(int descriptor, const std::string& name) {
  auto stream = std::make_unique<TMemoryStream>();
  std::uint8_t chunk[1 << 16];
  for (;;) {
    const ssize_t got = ::read(descriptor, chunk, sizeof chunk);
    if (got == 0) break;
    if (got < 0) {
      if (errno == EINTR) continue;
      throw EReadError("Cannot read \"" + name + "\". " + std::strerror(errno));
    }
    if (stream->GetSize() + got > kMaxStreamedInput) {
      throw EReadError("\"" + name + "\" holds more than 1 GiB");
    }
    stream->WriteBuffer(chunk, got);
  }
  stream->SetPosition(0);
  return stream;
}

void WriteStandardOutput(TMemoryStream& stream) {
  const std::uint8_t* next = stream.Memory();
  std::int64_t left = stream.GetSize();
  while (left > 0) {
    const ssize_t put = ::write(STDOUT_FILENO, next, static_cast<std::size_t>(left));
    if (put < 0) {
      if (errno == EINTR) continue;
      throw EWriteError(std::string("Cannot write standard output. ") + std::strerror(errno));
    }
    next += put;
    left -= put;
  }
}

}  // namespace

InputFile::InputFile(const std::string& name) {
  if (name == kStandardStream) {
    stream_ = ReadWhole(STDIN_FILENO, "standard input");
    return;
  }
  // A FIFO's open waits for its writer, as any reader of one does. The descriptor is closed on
  // every path, unless a file stream takes it over.
  struct Descriptor {
    int fd;
    ~Descriptor() {
      if (fd >= 0) ::close(fd);
    }
  } file{::open(name.c_str(), O_RDONLY | O_CLOEXEC)};
  if (file.fd < 0) OpenFailed(name, errno);
  struct stat info {};
  if (::fstat(file.fd, &info) != 0) OpenFailed(name, errno);
  if (S_ISDIR(info.st_mode)) OpenFailed(name, EISDIR);
  if (!S_ISREG(info.st_mode)) {
    stream_ = ReadWhole(file.fd, name);
    return;
  }
  stream_ = std::make_unique<OpenedFile>(file.fd, name);
  file.fd = -1;
}

void SaveOutput(const std::string& name, const std::function<void(TStream&)>& write) {
  if (name != kStandardStream) {
    SaveHostFileReplacing(name, write);
    return;
  }
  TMemoryStream output;
  write(output);
  WriteStandardOutput(output);
}
