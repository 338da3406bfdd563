#include "drive/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "framework/classes/file_save.h"

void WriteWholeFile(const std::string& path, std::string_view bytes) {
  SaveHostFileReplacing(path, [&](TStream& stream) {
    stream.WriteBuffer(bytes.data(), static_cast<std::int64_t>(bytes.size()));
  });
}

std::optional<std::string> ReadWholeFile(const std::string& path, std::size_t limit) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return std::nullopt;
  std::optional<std::string> bytes;
  struct stat info {};
  if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) {
    bytes.emplace();
    char buffer[65536];
    while (bytes->size() < limit) {
      const ssize_t count = ::read(fd, buffer, std::min(sizeof buffer, limit - bytes->size()));
      if (count < 0 && errno == EINTR) continue;
      if (count < 0) bytes.reset();
      if (count <= 0) break;
      bytes->append(buffer, static_cast<std::size_t>(count));
    }
  }
  ::close(fd);
  return bytes;
}

std::string LinkText(const std::string& path) {
  char target[4096];
  const ssize_t length = ::readlink(path.c_str(), target, sizeof target);
  return length > 0 && static_cast<std::size_t>(length) < sizeof target
             ? std::string(target, static_cast<std::size_t>(length))
             : std::string();
}
