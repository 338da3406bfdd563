#include "drive/commands.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "drive/autoplay.h"
#include "drive/device_records.h"
#include "drive/drive.h"
#include "drive/failure.h"
#include "drive/locations.h"
#include "drive/wine_drives.h"
#include "framework/platform/paths.h"

namespace {

std::string HostImagePath(const AnsiString& imagePath) {
  if (!imagePath.empty() && imagePath[0] == '/') return imagePath;
  const std::string host = HostPathFromWindows(imagePath);
  if (host.empty() || host[0] != '/') {
    throw EDriveFailure("The disc image " + imagePath +
                        " is on a drive that the Wine prefix does not map");
  }
  return host;
}

// Ends whatever the device's mount point holds: a served image, or one whose server died.
void ReleaseMountPoint(const std::string& mountPoint) {
  if (MountStateAt(mountPoint) != MountState::kNotMounted) Unmount(mountPoint);
}

std::string DriveName(char letter) { return std::string(1, letter) + ":"; }

struct TReleased {
  char letter = 0;       // the drive letter the device had, 0 for none
  bool mounted = false;  // whether an image (served or not) was mounted
};

// Takes the device's letter away, unmounts what it holds and removes its mount point; the record
// keeps the letter for the device's next mount.
TReleased ReleaseDevice(const TDriveLocations& where, int device, TDeviceRecord record) {
  const std::string mountPoint = where.MountPoint(device);
  TReleased released;
  // After a restart the record is gone but Wine's link may remain: the link tells the letter.
  released.letter = LetterOfDevice(where, device);
  released.mounted = MountStateAt(mountPoint) != MountState::kNotMounted;
  if (released.letter != 0) RemoveDrive(where, released.letter, mountPoint);
  if (released.mounted) Unmount(mountPoint);
  if (::rmdir(mountPoint.c_str()) != 0 && errno != ENOENT) {
    ThrowSystemFailure("Cannot remove the mount point " + mountPoint);
  }
  if (released.letter != 0) record.letter = released.letter;
  record.image.clear();
  record.serverPid = 0;
  WriteDeviceRecord(where, device, record);
  return released;
}

}  // namespace

std::string MountOnDevice(int device, const AnsiString& imagePath) {
  RequireWine();
  const std::string hostImage = HostImagePath(imagePath);
  DiscImage image(hostImage);

  const TDriveLocations where = LocateDriveFolders();
  const TDriveLock lock(where);
  const TDeviceRecord previous = ReadDeviceRecord(where, device).value_or(TDeviceRecord{});
  const std::string mountPoint = where.MountPoint(device);
  ReleaseMountPoint(mountPoint);

  const char letter = ChooseDriveLetter(where, device, previous.letter);
  try {
    MakeFolders(mountPoint, 0700);
    const pid_t server = MountInBackground(image, mountPoint);
    DefineCdromDrive(where, letter, mountPoint);
    WriteDeviceRecord(where, device, {letter, hostImage, server});
  } catch (...) {
    // A replaced image is gone already: the device is left empty, without a drive.
    try {
      ReleaseDevice(where, device, {letter, "", 0});
    } catch (const std::exception&) {
      // The first failure is the one to report.
    }
    throw;
  }

  std::string report = "Mounted " + imagePath + " as drive " + DriveName(letter) + " (label \"" +
                       image.VolumeLabel() + "\"), served from " + mountPoint;
  if (AutoPlayEnabled()) {
    if (const auto started = StartAutoPlay(mountPoint, letter)) {
      report += "\nAutoPlay started " + *started;
    }
  }
  return report;
}

std::string UnmountDevice(int device) {
  const TDriveLocations where = LocateDriveFolders();
  const TDriveLock lock(where);
  const TReleased released =
      ReleaseDevice(where, device, ReadDeviceRecord(where, device).value_or(TDeviceRecord{}));
  if (released.letter == 0 && !released.mounted) {
    return "Device " + std::to_string(device) + " holds no image";
  }
  return "Unmounted device " + std::to_string(device) +
         (released.letter != 0 ? " (drive " + DriveName(released.letter) + ")" : std::string());
}
