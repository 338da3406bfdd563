#pragma once
// The drive table: which host folder each Windows drive letter stands for, read from the
// $WINEPREFIX/dosdevices/<letter>: links (default prefix ~/.wine). Read afresh on every call so
// that a change of WINEPREFIX or of the links takes effect at once; the table is 26 links at most.
#include <optional>
#include <string>
#include <vector>

struct DriveMapping {
  char letter;           // upper case, 'A'..'Z'
  std::string hostRoot;  // canonical host folder, no trailing '/' except for "/" itself
};

// The Wine prefix the drive links come from: $WINEPREFIX, else ~/.wine ("" without either).
std::string WinePrefixFolder();

// Every mapped drive in letter order. Z: is "/" unless a z: link says otherwise.
std::vector<DriveMapping> ReadDriveMappings();

// The host folder of a drive letter (either case), if the drive is mapped.
std::optional<std::string> DriveHostRoot(char letter);

// True when the canonical host folder is the root of some mapped drive.
bool IsDriveHostRoot(const std::string& canonicalHostFolder);
