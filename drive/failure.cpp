#include "drive/failure.h"

#include <cerrno>
#include <cstring>

void ThrowSystemFailure(const AnsiString& what) {
  throw EDriveFailure(what + ": " + std::strerror(errno));
}
