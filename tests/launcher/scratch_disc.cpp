#include "tests/launcher/scratch_disc.h"

#include <dirent.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

#include "tests/support/stand_in_program.h"

namespace fs = std::filesystem;

ScratchDisc::ScratchDisc()
    : previousCurrent_(fs::current_path()), tag_("lt" + std::to_string(getpid()) + "-") {
  current_ = root_ / "cwd";
  prefix_ = root_ / "prefix";
  fs::create_directories(current_);
  fs::create_directories(prefix_ / "dosdevices");
  programFolder_ = fs::canonical("/proc/self/exe").parent_path();

  if (const char* previous = std::getenv("WINEPREFIX")) {
    hadPrefix_ = true;
    previousPrefix_ = previous;
  }
  setenv("WINEPREFIX", prefix_.c_str(), 1);
  fs::current_path(current_);
}

ScratchDisc::~ScratchDisc() {
  std::error_code ignored;
  fs::current_path(previousCurrent_, ignored);
  if (hadPrefix_) {
    setenv("WINEPREFIX", previousPrefix_.c_str(), 1);
  } else {
    unsetenv("WINEPREFIX");
  }
  for (const auto& folder : besideProgram_) fs::remove_all(folder, ignored);
  fs::permissions(current_, fs::perms::owner_all, fs::perm_options::add, ignored);
}

std::string ScratchDisc::Name(const std::string& base) const { return tag_ + base; }

fs::path ScratchDisc::AddTitle(const std::string& name) {
  AddCurrentOnly(name);
  const fs::path beside = programFolder_ / name;
  fs::create_directories(beside);
  besideProgram_.push_back(beside);
  return beside;
}

void ScratchDisc::AddCurrentOnly(const std::string& name) {
  fs::create_directories(current_ / name);
}

void ScratchDisc::MapDrive(char letter, const fs::path& target) {
  const fs::path link = prefix_ / "dosdevices" / (std::string(1, letter) + ":");
  fs::remove(link);
  fs::create_directory_symlink(target, link);
}

std::string ScratchDisc::ProgramFolderOnZ() const {
  std::string windows = "Z:" + programFolder_.string();
  for (char& c : windows) {
    if (c == '/') c = '\\';
  }
  return windows;
}

std::vector<std::string> ScratchDisc::HostFolderOrder() const {
  std::vector<std::string> names;
  DIR* dir = ::opendir(current_.c_str());
  if (dir == nullptr) return names;
  while (const dirent* entry = ::readdir(dir)) {
    const std::string name = entry->d_name;
    if (name != "." && name != ".." && fs::is_directory(current_ / name)) names.push_back(name);
  }
  ::closedir(dir);
  return names;
}

void ScratchDisc::InstallMountStandIn() {
  MapDrive('c', root_ / "drive_c");
  InstallStandInProgram(RecordFile().parent_path() / "daemon.exe");
}

std::vector<std::string> ScratchDisc::WaitForRecordedArguments() const {
  // The stand-in runs detached; allow it plenty of time on a loaded machine.
  for (int attempt = 0; attempt < 200 && !fs::exists(RecordFile()); ++attempt) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  std::vector<std::string> arguments;
  std::ifstream file(RecordFile());
  for (std::string line; std::getline(file, line);) arguments.push_back(line);
  return arguments;
}
