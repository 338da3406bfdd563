// Stand-in bodies so that the program can be built against drive.h while the engine is written.
#include "drive/disc_file_system.h"
#include "drive/drive.h"

DiscImage::DiscImage(const std::string& path) {
  throw DriveError(DriveErrorKind::kNotADiscImage, "Disc images cannot be opened yet: " + path);
}
DiscImage::~DiscImage() = default;
const std::string& DiscImage::VolumeLabel() const {
  static const std::string none;
  return none;
}
std::uint32_t DiscImage::VolumeSerial() const { return 0; }
pid_t MountInBackground(DiscImage&, const std::string&) {
  throw DriveError(DriveErrorKind::kMountFailed, "Mounting is not written yet.");
}
MountState MountStateAt(const std::string&) { return MountState::kNotMounted; }
void Unmount(const std::string&) {}
