#pragma once
// Windows paths on Linux, mapped the way Wine maps them: drive letters come from
// $WINEPREFIX/dosdevices/<letter>: links (default prefix ~/.wine); Z: is / unless a link says
// otherwise. Host paths (starting with '/') and relative paths pass through unchanged.
//
// This program deals only in Windows paths, so in anything that is not a host path a backslash
// is a separator, never part of a name (although Linux would allow it in a name). '/' is
// accepted as a separator in Windows paths too, as Windows does.
#include "framework/system/ansistring.h"

// The host path for a Windows path (each name resolved case-insensitively when the exact name
// is absent). Relative paths and host paths are returned unchanged (backslashes become '/').
// "." and ".." are resolved by name, never above the drive's root. "\name" is taken on the drive
// of the current directory, "D:name" relative to the current directory when it lies on D: (else
// to D:'s root). Returns "" when there is no host counterpart: an unmapped drive, or a UNC or
// device path ("\\server\share", "\\?\...").
AnsiString HostPathFromWindows(const AnsiString& path);
// The Windows path for a host path: the longest matching drive wins (on a tie, the first
// letter). A drive's root is "D:\". A host path no drive covers is returned unchanged; a relative
// path gets backslashes.
AnsiString WindowsPathFromHost(const AnsiString& hostPath);

// The folder part of a path, without the trailing backslash except at a drive's root ("D:\").
// "" when the path holds no separator; "D:" for the drive-relative "D:name".
AnsiString ExtractFileDir(const AnsiString& path);
// The extension with its dot ("" when none).
AnsiString ExtractFileExt(const AnsiString& path);
// True when a file (not a folder) matching the name, which may hold '*' and '?' in its last
// component, exists; names compare case-insensitively. Symbolic links count by their target.
bool FileExists(const AnsiString& pathOrPattern);

// The program's own executable as a Windows path ("" if the system cannot tell).
AnsiString GetProgramWindowsPath();
