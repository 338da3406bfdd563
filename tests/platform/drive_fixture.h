#pragma once
// A private Wine-style prefix in a fresh temporary folder, where tests link drive letters to
// folders of their own. The environment and the current folder are restored afterwards.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "tests/support/temp_dir.h"

class DriveFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directories(root_ + "/prefix/dosdevices");
    const char* old = std::getenv("WINEPREFIX");
    oldPrefix_ = old ? old : "";
    setenv("WINEPREFIX", (root_ + "/prefix").c_str(), 1);
  }
  void TearDown() override {
    std::filesystem::current_path(oldCwd_);
    setenv("WINEPREFIX", oldPrefix_.c_str(), 1);  // empty means "the default prefix"
  }

  std::string Dir(const std::string& relative) {
    std::filesystem::create_directories(root_ + "/" + relative);
    return root_ + "/" + relative;
  }
  std::string File(const std::string& relative, const std::string& content = "x",
                   mode_t mode = 0644) {
    const std::filesystem::path path = root_ + "/" + relative;
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << content;
    chmod(path.c_str(), mode);
    return path;
  }
  // Relative like Wine's own (c: -> ../drive_c), unless the target is absolute.
  void LinkDrive(char letter, const std::string& target) {
    const std::string link = root_ + "/prefix/dosdevices/" + letter + ":";
    std::filesystem::create_directory_symlink(target[0] == '/' ? target : "../../" + target, link);
  }

  TempDir scratch_;
  const std::string root_ = scratch_.Root().string();

 private:
  std::string oldPrefix_;
  std::filesystem::path oldCwd_ = std::filesystem::current_path();
};
