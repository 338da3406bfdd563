#pragma once
// Files named on the command line. A name is a Linux name, taken as the shell gives it (a
// backslash or "c:" is part of it; the framework's Windows path mapping is for the launcher);
// "-" stands for standard input or standard output.
#include <functional>
#include <memory>
#include <string>

#include "framework/classes/stream.h"

// An input opened for reading. A regular file is read where it lies; anything else that can be
// read (standard input, a pipe, <(...), a FIFO, /dev/stdin) is read whole first, up to 1 GiB.
class InputFile {
 public:
  explicit InputFile(const std::string& name);
  TStream& Stream() { return *stream_; }

 private:
  std::unique_ptr<TStream> stream_;
};

// Saves what write puts into the stream: to the named file, which is replaced only when all of
// it was written, or for "-" to standard output, which gets nothing unless all of it could be
// made in memory first.
void SaveOutput(const std::string& name, const std::function<void(TStream&)>& write);
