#pragma once
// Folder enumeration with Windows semantics: the names "." and ".." come first in every folder
// except at a drive's root, where they are left out: the host folder a drive letter maps to (e.g.
// "/" for Z:) and the root of any mounted file system (a disc at /media/..., "/"). The folder may
// be given relative to the current directory, or as a host or Windows path.

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

}  // namespace rtl
