#include "framework/platform/dirent.h"

#include <algorithm>
#include <vector>

#include "drive_fixture.h"

namespace {

using Names = std::vector<AnsiString>;
using FolderEnumeration = DriveFixture;

// The names in enumeration order, the dot entries first and the others sorted.
Names List(const AnsiString& folder) {
  Names names;
  rtl::DirectoryReader reader(folder);
  while (auto name = reader.Next()) names.push_back(*name);
  const auto others = std::find_if(names.begin(), names.end(),
                                   [](const AnsiString& n) { return n != "." && n != ".."; });
  std::sort(others, names.end());
  return names;
}

TEST_F(FolderEnumeration, DotEntriesComeFirstExceptAtADrivesRoot) {
  File("disc/readme.txt");
  File("disc/Alpha/1.jpg");
  Dir("disc/Alpha/Inner");
  LinkDrive('d', "disc");
  EXPECT_EQ(List("D:\\"), (Names{"Alpha", "readme.txt"}));
  EXPECT_EQ(List(root_ + "/disc"), (Names{"Alpha", "readme.txt"}));
  EXPECT_EQ(List("d:\\alpha"), (Names{".", "..", "1.jpg", "Inner"}));

  const Names hostRoot = List("/");
  ASSERT_FALSE(hostRoot.empty());
  EXPECT_NE(hostRoot.front(), ".") << "/ is Z:'s root";
  EXPECT_EQ(std::count(hostRoot.begin(), hostRoot.end(), ".."), 0);
}

TEST_F(FolderEnumeration, NamesRelativeToTheCurrentFolder) {
  Dir("work/Title A");
  Dir("work/Title B");
  std::filesystem::current_path(root_ + "/work");
  EXPECT_EQ(List("."), (Names{".", "..", "Title A", "Title B"}));
  EXPECT_EQ(List("Title A"), (Names{".", ".."}));
  LinkDrive('w', "work");
  EXPECT_EQ(List("."), (Names{"Title A", "Title B"})) << "now a drive's root";
}

TEST_F(FolderEnumeration, OnlyFoldersThatCanBeReadOpen) {
  const std::string file = File("plain.txt");
  for (const std::string& name : {file, root_ + "/missing", std::string("Q:\\"), std::string()}) {
    EXPECT_EQ(rtl::opendir(name.c_str()), nullptr) << name;
  }
  EXPECT_EQ(rtl::opendir(nullptr), nullptr);
  EXPECT_EQ(rtl::readdir(nullptr), nullptr);
  EXPECT_EQ(rtl::closedir(nullptr), -1);

  const std::string locked = Dir("locked");
  chmod(locked.c_str(), 0);
  if (geteuid() != 0) {  // root reads any folder
    EXPECT_EQ(rtl::opendir(locked.c_str()), nullptr);
  }
  chmod(locked.c_str(), 0755);
  EXPECT_EQ(List(locked), (Names{".", ".."}));
}

}  // namespace
