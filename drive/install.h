#pragma once
// Installing: the launcher's fixed command names "C:\Program Files\DAEMON Tools\daemon.exe" in
// the Wine prefix. Installing puts a link there to a copy of this program in the user's data
// folder (not to the disc, which will be ejected). A prefix that does not exist yet is made first.
#include <string>

// Returns a sentence saying what was done. Raises EDriveFailure when a Windows program (an MZ
// file) is at that path and `force` is false, or on any failure. Running it twice changes nothing.
std::string InstallDrive(bool force);

// Where the installed copy lives.
std::string InstalledProgramPath();
