#include "framework/platform/paths.h"

#include <algorithm>
#include <vector>

#include "drive_fixture.h"
#include "framework/platform/dirent.h"

namespace {

using PathMapping = DriveFixture;

TEST_F(PathMapping, HostToWindowsPicksTheLongestDriveRoot) {
  Dir("disc/talvesk/bin");
  Dir("disc2");
  LinkDrive('d', "disc");
  LinkDrive('e', "disc/talvesk");
  EXPECT_EQ(WindowsPathFromHost(root_ + "/disc/other"), "D:\\other");
  EXPECT_EQ(WindowsPathFromHost(root_ + "//disc/./talvesk/bin/"), "E:\\bin");
  EXPECT_EQ(WindowsPathFromHost(root_ + "/disc/talvesk"), "E:\\");
  EXPECT_EQ(WindowsPathFromHost(root_ + "/disc"), "D:\\");
  std::string onZ = "Z:" + root_ + "/disc2";  // shares the characters of d:'s root, not a folder
  std::replace(onZ.begin(), onZ.end(), '/', '\\');
  EXPECT_EQ(WindowsPathFromHost(root_ + "/disc2"), onZ);
  EXPECT_EQ(WindowsPathFromHost("/"), "Z:\\");
  EXPECT_EQ(WindowsPathFromHost("rel/x"), "rel\\x");

  LinkDrive('z', "disc2");
  EXPECT_EQ(WindowsPathFromHost("/usr/bin"), "/usr/bin") << "no drive covers it any more";
  EXPECT_EQ(HostPathFromWindows("Z:\\"), root_ + "/disc2/");
}

TEST_F(PathMapping, WindowsToHostResolvesNamesIgnoringCase) {
  File("disc/Titles/Demo One/1.JPG");
  File("disc/abc/f");
  File("disc/ABC/f");
  LinkDrive('d', "disc");
  const std::string demo = root_ + "/disc/Titles/Demo One";
  EXPECT_EQ(HostPathFromWindows("D:\\titles\\DEMO ONE\\1.jpg"), demo + "/1.JPG");
  EXPECT_EQ(HostPathFromWindows("d:/Titles/Demo One/"), demo + "/");
  EXPECT_EQ(HostPathFromWindows("D:\\"), root_ + "/disc/");
  EXPECT_EQ(HostPathFromWindows("D:\\\\titles\\\\demo one"), demo) << "as built at a root";
  EXPECT_EQ(HostPathFromWindows("D:\\..\\..\\titles\\.\\x\\..\\demo one"), demo);
  EXPECT_EQ(HostPathFromWindows("D:\\Titles\\Nope\\SUB"), root_ + "/disc/Titles/Nope/SUB");
  EXPECT_EQ(HostPathFromWindows("D:\\ABC\\f"), root_ + "/disc/ABC/f") << "exact name first";
  EXPECT_EQ(HostPathFromWindows("D:\\abc\\f"), root_ + "/disc/abc/f");
  EXPECT_EQ(HostPathFromWindows("z:\\usr\\BIN"), "/usr/bin");
  // An unmapped drive, a share or a device path has no host counterpart; no drive, no mapping.
  EXPECT_EQ(HostPathFromWindows("Q:\\anything"), "");
  EXPECT_EQ(HostPathFromWindows("\\\\server\\share\\x"), "");
  EXPECT_EQ(HostPathFromWindows("\\\\?\\C:\\x"), "");
  EXPECT_EQ(HostPathFromWindows("sub\\file.txt"), "sub/file.txt");
  EXPECT_EQ(HostPathFromWindows("/host/path\\kept"), "/host/path\\kept");

  std::filesystem::current_path(demo);
  EXPECT_EQ(HostPathFromWindows("\\titles"), root_ + "/disc/Titles") << "on the current drive";
  EXPECT_EQ(HostPathFromWindows("D:1.jpg"), demo + "/1.JPG") << "in the current folder";
}

TEST(FileNameParts, FolderAndExtension) {
  const std::pair<const char*, const char*> folders[] = {{"D:\\\\Demo\\1.jpg", "D:\\\\Demo"},
                                                         {"D:\\Demo\\", "D:\\Demo"},
                                                         {"x.exe", ""},
                                                         {"D:x.exe", "D:"},
                                                         {"\\x.exe", "\\"},
                                                         {"/opt/talvesk/talvesk", "/opt/talvesk"},
                                                         {"/talvesk", "/"}};
  for (const auto& [path, folder] : folders) EXPECT_EQ(ExtractFileDir(path), folder) << path;

  const std::pair<const char*, const char*> extensions[] = {
      {"D:\\a\\1.jpg", ".jpg"}, {"D:\\a.b\\file", ""}, {"x.tar.GZ", ".GZ"}, {"name.", "."}};
  for (const auto& [path, ext] : extensions) EXPECT_EQ(ExtractFileExt(path), ext) << path;
}

using FileExistence = DriveFixture;

TEST_F(FileExistence, WildcardsMatchFilesOnlyIgnoringCase) {
  File("disc/Demo/1.JPG");
  File("disc/Demo/obraz.bin");
  Dir("disc/Links/folder.jpg");  // a folder named like a cover is no file
  LinkDrive('d', "disc");
  std::filesystem::create_symlink("../Demo/obraz.bin", root_ + "/disc/Links/image.bin");
  std::filesystem::create_symlink("missing.jpg", root_ + "/disc/Links/dangling.jpg");

  for (const char* found : {"D:\\Demo\\*.jpg", "D:\\demo\\*.BIN", "D:\\Demo\\?.jpg",
                            "D:\\Demo\\o*a?.b*", "d:\\DEMO\\1.jpg", "D:\\Links\\*.bin"}) {
    EXPECT_TRUE(FileExists(found)) << found;
  }
  for (const char* missing : {"D:\\Demo\\??.jpg", "D:\\Demo", "D:\\Links\\*.jpg", "Q:\\*.jpg"}) {
    EXPECT_FALSE(FileExists(missing)) << missing;
  }
}

using Names = std::vector<AnsiString>;
using FolderEnumeration = DriveFixture;

// The names in enumeration order, the dot entries first and the others sorted.
Names List(const AnsiString& folder) {
  Names names;
  rtl::DIR* dir = rtl::opendir(folder.c_str());
  while (const rtl::dirent* entry = rtl::readdir(dir)) names.push_back(entry->d_name);
  rtl::closedir(dir);
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

  LinkDrive('z', "disc");
  const Names hostRoot = List("/");
  ASSERT_FALSE(hostRoot.empty());
  EXPECT_NE(hostRoot.front(), ".") << "/ is a file system's root, whatever Z: maps";
  EXPECT_EQ(std::count(hostRoot.begin(), hostRoot.end(), ".."), 0);
}

}  // namespace
