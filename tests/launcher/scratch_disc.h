#pragma once
// A scratch disc for one test. The launcher enumerates its current directory but looks for
// covers and disc images beside its own executable, so a title here is a folder in a private
// current directory plus a folder of the same name beside the test program. Names carry the
// process id, so test processes running side by side never see each other's titles. Also gives
// the test a private WINEPREFIX (drive links) and restores everything when it ends.
#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/temp_dir.h"

class ScratchDisc {
 public:
  ScratchDisc();
  ~ScratchDisc();

  // A title name unique to this process: a prefix, then base.
  std::string Name(const std::string& base) const;
  // Creates the title folder in the current directory and beside the program; returns the
  // latter, where the title's files go.
  std::filesystem::path AddTitle(const std::string& name);
  // A folder that exists only in the current directory.
  void AddCurrentOnly(const std::string& name);

  const std::filesystem::path& Current() const { return current_; }
  const std::filesystem::path& ProgramFolder() const { return programFolder_; }

  // Links $WINEPREFIX/dosdevices/<letter>: to target.
  void MapDrive(char letter, const std::filesystem::path& target);
  // The program's folder as the launcher sees it while no drive but Z: maps it.
  std::string ProgramFolderOnZ() const;

  // Sub-folder names of the current directory in the host's enumeration order.
  std::vector<std::string> HostFolderOrder() const;

  // Installs a stand-in for the mount program at C:\Program Files\DAEMON Tools\daemon.exe that
  // writes each argument it receives on a line of its own to RecordFile().
  void InstallMountStandIn();
  std::filesystem::path RecordFile() const {
    return root_ / "drive_c" / "Program Files" / "DAEMON Tools" / "args";
  }
  // The recorded arguments once the stand-in has written them; empty if it never ran within a
  // generous wait.
  std::vector<std::string> WaitForRecordedArguments() const;

 private:
  TempDir scratch_;
  std::filesystem::path root_ = scratch_.Root();
  std::filesystem::path current_;
  std::filesystem::path prefix_;
  std::filesystem::path programFolder_;
  std::filesystem::path previousCurrent_;
  std::string previousPrefix_;
  bool hadPrefix_ = false;
  std::string tag_;
  std::vector<std::filesystem::path> besideProgram_;
};
