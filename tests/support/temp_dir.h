#pragma once
// A scratch folder for one test, removed with everything in it afterwards.
#include <filesystem>
#include <string>

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  // The folder's real path (no links in it), and a name inside the folder.
  const std::filesystem::path& Root() const { return root_; }
  std::filesystem::path Path(const std::string& name) const { return root_ / name; }
  // A name inside the folder, quoted for a shell command.
  std::string Quoted(const std::string& name) const { return "'" + Path(name).string() + "'"; }

 private:
  std::filesystem::path root_;
};
