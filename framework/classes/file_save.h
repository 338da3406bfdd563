#pragma once
// Saving a file so that a failed save destroys nothing. A symbolic link is followed to the file
// it names, which is saved as below; the link stays. A regular file (or a name that does not exist
// yet) is replaced: the bytes go to a new, unnamed file in the same folder, which takes the old
// file's owner, group and permission bits, is flushed to disk, and only then gets a name and is
// renamed over the target (the folder is flushed too); a process that dies meanwhile leaves
// nothing behind. Where the owner or group cannot be given, or the folder takes no new file, an
// existing file the user may write is overwritten in place instead, after its new size has been
// reserved, so that a full disk fails before an old byte changes. A device or a FIFO is written
// as it is. Every write, the flush and the close are checked: failures raise EWriteError
// (EFOpenError when the file cannot be created) naming the file.
#include <functional>

#include "framework/classes/stream.h"
#include "framework/system/ansistring.h"

void SaveFileReplacing(const AnsiString& fileName, const std::function<void(TStream&)>& write);
// The same for a name the host's file system takes as it is (a command-line tool's operand): no
// Windows path mapping, so a backslash or "c:" is part of the name.
void SaveHostFileReplacing(const AnsiString& hostPath, const std::function<void(TStream&)>& write);
