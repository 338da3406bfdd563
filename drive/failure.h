#pragma once
// What the virtual drive reports to the player: one plain sentence that says what went wrong and,
// where there is one, what to do about it. Shown in a message box and on stderr.
#include "framework/system/exceptions.h"

class EDriveFailure : public Exception {
 public:
  using Exception::Exception;
};

// A command line the program does not understand (exit status 2, no message box: a person at a
// terminal made it, not the launcher).
class EDriveUsage : public Exception {
 public:
  using Exception::Exception;
};

// Raises EDriveFailure with the message followed by ": " and the text of errno's current value.
[[noreturn]] void ThrowSystemFailure(const AnsiString& what);
