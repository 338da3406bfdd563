#pragma once
// Windows paths on Linux, mapped the way Wine maps them: drive letters come from
// $WINEPREFIX/dosdevices/<letter>: links (default prefix ~/.wine); Z: is / unless a link says
// otherwise. Host paths (starting with '/') and relative paths pass through unchanged.
#include "framework/system/ansistring.h"

// The host path for a Windows path (each name resolved case-insensitively when the exact name
// is absent). Relative paths and host paths are returned unchanged (backslashes become '/').
AnsiString HostPathFromWindows(const AnsiString& path);
// The Windows path for a host path: the longest matching drive wins.
AnsiString WindowsPathFromHost(const AnsiString& hostPath);

// The folder part of a path, without the trailing backslash except at a drive's root ("D:\").
AnsiString ExtractFileDir(const AnsiString& path);
// The extension with its dot ("" when none).
AnsiString ExtractFileExt(const AnsiString& path);
// True when a file (not a folder) matching the name, which may hold '*' and '?' in its last
// component, exists; names compare case-insensitively.
bool FileExists(const AnsiString& pathOrPattern);
