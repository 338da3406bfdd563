#pragma once
// Where the virtual drive keeps things. Everything that lives only while images are mounted (mount
// points, the record of each device, the lock) is in the user's runtime folder, one folder per
// Wine prefix, so two prefixes never share a device. The installed program lives in the user's
// data folder, which outlasts the disc it came from.
#include <string>
#include <string_view>

struct TDriveLocations {
  std::string prefix;         // the Wine prefix, canonical
  std::string runtimeFolder;  // private to the user and to this prefix; made on first use

  std::string MountPoint(int device) const;
  std::string DeviceRecord(int device) const;
  std::string LockFile() const;
};

// The prefix ($WINEPREFIX, else ~/.wine) must exist. Creates the runtime folder (0700) when
// missing and refuses one that another user owns or others may write to.
TDriveLocations LocateDriveFolders();

// Runtime folder of the user: $XDG_RUNTIME_DIR, else /tmp/talvesk-drive-<uid> (made 0700).
std::string UserRuntimeFolder();

// $XDG_DATA_HOME/talvesk (default ~/.local/share/talvesk) and $XDG_CONFIG_HOME/talvesk.
std::string UserDataFolder();
std::string UserConfigFolder();

// Makes the folder and its missing parents with the mode (like mkdir -p); raises on failure.
void MakeFolders(const std::string& folder, unsigned mode);

// 16 hex digits naming the bytes (FNV-1a): a short file name for a long path or a helper's content.
std::string ShortHash(std::string_view bytes);
