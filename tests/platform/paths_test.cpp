#include "framework/platform/paths.h"

#include <algorithm>

#include "drive_fixture.h"

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

  std::filesystem::current_path(demo);
  EXPECT_EQ(HostPathFromWindows("\\titles"), root_ + "/disc/Titles") << "on the current drive";
  EXPECT_EQ(HostPathFromWindows("D:1.jpg"), demo + "/1.JPG") << "in the current folder";
}

TEST_F(PathMapping, FormsWithoutAHostCounterpartOrWithoutADrive) {
  EXPECT_EQ(HostPathFromWindows("Q:\\anything"), "");
  EXPECT_EQ(HostPathFromWindows("\\\\server\\share\\x"), "");
  EXPECT_EQ(HostPathFromWindows("\\\\?\\C:\\x"), "");
  EXPECT_EQ(HostPathFromWindows("sub\\file.txt"), "sub/file.txt");
  EXPECT_EQ(HostPathFromWindows("/host/path\\kept"), "/host/path\\kept");
}

TEST_F(PathMapping, ProgramPathIsTheWindowsFormOfTheRealExecutable) {
  const std::filesystem::path exe = std::filesystem::canonical("/proc/self/exe");
  LinkDrive('d', exe.parent_path());
  EXPECT_EQ(GetProgramWindowsPath(), "D:\\" + exe.filename().string());
}

TEST(FileNameParts, FolderAndExtension) {
  const std::pair<const char*, const char*> folders[] = {{"E:\\Launcher\\x.exe", "E:\\Launcher"},
                                                         {"D:\\x.exe", "D:\\"},
                                                         {"D:\\\\Demo\\1.jpg", "D:\\\\Demo"},
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
  Dir("disc/Folder.jpg");
  Dir("disc/Links");
  LinkDrive('d', "disc");
  std::filesystem::create_symlink("../Demo/obraz.bin", root_ + "/disc/Links/image.bin");
  std::filesystem::create_symlink("missing.jpg", root_ + "/disc/Links/dangling.jpg");

  for (const char* found : {"D:\\Demo\\*.jpg", "D:\\demo\\*.BIN", "D:\\Demo\\?.jpg",
                            "D:\\Demo\\o*a?.b*", "d:\\DEMO\\1.jpg", "D:\\Links\\*.bin"}) {
    EXPECT_TRUE(FileExists(found)) << found;
  }
  for (const char* missing : {"D:\\Demo\\??.jpg", "D:\\*.jpg", "D:\\Demo", "D:\\Links\\*.jpg",
                              "D:\\Missing\\*.jpg", "Q:\\*.jpg"}) {
    EXPECT_FALSE(FileExists(missing)) << missing;
  }
  std::filesystem::current_path(root_ + "/disc/Demo");
  EXPECT_TRUE(FileExists("*.jpg"));
  EXPECT_TRUE(FileExists(root_ + "/disc/Demo/*.Jpg"));
}

}  // namespace
