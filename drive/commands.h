#pragma once
// The two things the launcher's command asks of a virtual drive.
#include <string>

#include "framework/system/ansistring.h"

// Mounts the image (a Windows path of the prefix, or a host path) on the device, replacing what
// the device held, makes it a CD-ROM drive of the prefix and starts its AutoPlay program (unless
// AutoPlay is off). Returns what a person at a terminal is told. Raises EDriveFailure; a failed
// mount leaves no mount and no drive behind.
std::string MountOnDevice(int device, const AnsiString& imagePath);

// Takes the device's drive letter away and unmounts its image. Returns what a person is told.
std::string UnmountDevice(int device);
