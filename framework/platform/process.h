#pragma once
// Starting programs from a Windows command line.
#include <vector>

#include "framework/system/ansistring.h"

constexpr unsigned SW_SHOWNORMAL = 1;

// Starts the command line as a new process, detached (its own session, only fds 0-2 inherited,
// no shell) so that it outlives the caller, and returns at once. The program path is a Windows
// path (mapped to the host); a bare name is looked for in the current folder, then on PATH; as on
// Windows, ".exe" is tried when the name has no extension. The arguments are passed on exactly as
// split, unmapped. A Windows executable (a file starting with "MZ") is run through `wine` from
// PATH. The show command is accepted for compatibility; the child places its own window.
// Results: 33 when started; 0 for an empty command line (or too few resources); 2 when the
// program does not exist; 11 when it cannot be executed (not executable, or MZ without wine).
// The caller does not wait for the child: a child that ends before its parent stays a zombie
// until the parent ends, which is right away for the launcher.
unsigned WinExec(const AnsiString& commandLine, unsigned show);

// Splits a command line the way Windows programs split theirs: the program name runs to the
// first blank outside quotes, quotes only group (no escapes); in the arguments, 2n backslashes
// before a quote give n backslashes and the quote groups, 2n+1 give n and a literal quote, and
// "" inside quotes is a literal quote. Blanks are spaces and tabs. The text ends at a NUL byte.
std::vector<AnsiString> SplitWindowsCommandLine(const AnsiString& commandLine);
