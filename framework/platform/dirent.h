#pragma once
// Folder enumeration with Windows semantics: the names "." and ".." come first in every folder
// except at a drive's root (the host folder a drive letter maps to, e.g. "/" for Z:), where they
// are left out. The folder may be given relative to the current directory, or as a host or
// Windows path.
#include <optional>

#include "framework/system/ansistring.h"

namespace rtl {

struct DIR;

struct dirent {
  char d_name[256];
};

// nullptr when the name is not a folder that can be opened.
DIR* opendir(const char* name);
// The next entry, or nullptr at the end. The entry stays valid until the next call on `dir`.
dirent* readdir(DIR* dir);
// 0, or -1 for a null handle.
int closedir(DIR* dir);

// The same enumeration for C++ callers; closes the folder when it goes out of scope.
class DirectoryReader {
 public:
  explicit DirectoryReader(const AnsiString& folder) : dir_(opendir(folder.c_str())) {}
  ~DirectoryReader() { closedir(dir_); }
  DirectoryReader(const DirectoryReader&) = delete;
  DirectoryReader& operator=(const DirectoryReader&) = delete;

  bool IsOpen() const { return dir_ != nullptr; }
  // The next name, or nothing at the end (or when the folder could not be opened).
  std::optional<AnsiString> Next() {
    if (!dir_) return std::nullopt;
    const dirent* entry = readdir(dir_);
    if (!entry) return std::nullopt;
    return AnsiString(entry->d_name);
  }

 private:
  DIR* dir_;
};

}  // namespace rtl
