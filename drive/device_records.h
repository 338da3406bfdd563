#pragma once
// The record of each virtual device of a prefix, and the lock that makes one talvesk-drive at a
// time change them (a double click, two launchers). A record outlives an unmount to keep the
// device's drive letter for its next mount.
#include <optional>
#include <string>

#include "drive/locations.h"

struct TDeviceRecord {
  char letter = 0;     // 'D'..'Z'; 0 when the device never had one
  std::string image;   // host path of the mounted image; "" when nothing is mounted
  long serverPid = 0;  // the file system's server while mounted
};

// Reads the device's record; nothing when there is none or it cannot be read (a damaged record
// is treated as absent: the links in the prefix tell the rest).
std::optional<TDeviceRecord> ReadDeviceRecord(const TDriveLocations& where, int device);
// Replaces the record atomically; raises on failure.
void WriteDeviceRecord(const TDriveLocations& where, int device, const TDeviceRecord& record);

// Holds the prefix's lock from construction to destruction. Waits for another holder up to the
// timeout, then raises EDriveFailure.
class TDriveLock {
 public:
  explicit TDriveLock(const TDriveLocations& where, int timeoutSeconds = 60);
  ~TDriveLock();
  TDriveLock(const TDriveLock&) = delete;
  TDriveLock& operator=(const TDriveLock&) = delete;

 private:
  int fd_ = -1;
};
