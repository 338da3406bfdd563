#include "tests/support/stand_in_program.h"

namespace fs = std::filesystem;

fs::path InstallStandInProgram(const fs::path& path) {
  fs::create_directories(path.parent_path());
  fs::copy_file(TALVESK_SOURCE_DIR "/tests/support/stand-in-program.sh", path,
                fs::copy_options::overwrite_existing);
  fs::permissions(path, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                            fs::perms::others_read | fs::perms::others_exec);
  return path.parent_path() / "args";
}
