#include "drive/device_records.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

#include "drive/failure.h"
#include "drive/files.h"

std::optional<TDeviceRecord> ReadDeviceRecord(const TDriveLocations& where, int device) {
  std::ifstream file(where.DeviceRecord(device));
  if (!file) return std::nullopt;
  TDeviceRecord record;
  std::string line;
  while (std::getline(file, line)) {
    const std::size_t equals = line.find('=');
    if (equals == std::string::npos) return std::nullopt;
    const std::string key = line.substr(0, equals);
    const std::string value = line.substr(equals + 1);
    if (key == "letter" && value.size() == 1 && value[0] >= 'D' && value[0] <= 'Z') {
      record.letter = value[0];
    } else if (key == "image") {
      record.image = value;
    } else if (key == "pid") {
      record.serverPid = std::strtol(value.c_str(), nullptr, 10);
    } else {
      return std::nullopt;
    }
  }
  return record;
}

void WriteDeviceRecord(const TDriveLocations& where, int device, const TDeviceRecord& record) {
  // Image paths are file names: any byte but NUL, so a newline must not end the value early.
  if (record.image.find('\n') != std::string::npos) {
    throw EDriveFailure("The image's path holds a line break, which this drive cannot record");
  }
  std::ostringstream text;
  if (record.letter) text << "letter=" << record.letter << '\n';
  if (!record.image.empty())
    text << "image=" << record.image << "\npid=" << record.serverPid << '\n';
  WriteWholeFile(where.DeviceRecord(device), text.str());
}

TDriveLock::TDriveLock(const TDriveLocations& where, int timeoutSeconds) {
  const std::string path = where.LockFile();
  fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd_ < 0) ThrowSystemFailure("Cannot open the lock " + path);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds);
  while (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
    if ((errno != EWOULDBLOCK && errno != EINTR) || std::chrono::steady_clock::now() > deadline) {
      ::close(fd_);
      throw EDriveFailure("Another talvesk-drive is still mounting or unmounting; try again");
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
}

TDriveLock::~TDriveLock() { ::close(fd_); }
