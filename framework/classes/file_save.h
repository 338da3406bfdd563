#pragma once
// Saving a file so that a failed save destroys nothing. A regular file (or a name that does not
// exist yet) is written to a new file in the same folder, flushed to disk and renamed over the
// target only when every byte is there; the target keeps its permission bits. A device, a FIFO
// or a symbolic link is written in place, since a rename would replace the node or the link.
// Every write, the flush and the close are checked: failures raise EWriteError (EFOpenError when
// the file cannot be created) naming the file.
#include <functional>

#include "framework/classes/stream.h"
#include "framework/system/ansistring.h"

void SaveFileReplacing(const AnsiString& fileName, const std::function<void(TStream&)>& write);
// The same for a name the host's file system takes as it is (a command-line tool's operand): no
// Windows path mapping, so a backslash or "c:" is part of the name.
void SaveHostFileReplacing(const AnsiString& hostPath, const std::function<void(TStream&)>& write);
