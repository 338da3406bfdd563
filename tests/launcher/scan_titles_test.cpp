// The title scan against real folders: what becomes a title, in which order, the folder paths
// built from the program's own folder, and a catalogue that is never written past its end.
#include <sys/mount.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "launcher/Unit1.h"
#include "tests/launcher/scratch_disc.h"
#include "tests/support/files.h"

namespace {

// One more slot than the catalogue holds, as a guard against writes past its end.
struct Catalogue {
  static constexpr std::int32_t kGuard = 0x5A5A5A5A;
  AnsiString names[MaxTitles + 1];
  AnsiString folders[MaxTitles + 1];
  std::int32_t hasJpg[MaxTitles + 1] = {};
  std::int32_t hasBin[MaxTitles + 1] = {};

  Catalogue() {
    names[MaxTitles] = folders[MaxTitles] = "guard";
    hasJpg[MaxTitles] = hasBin[MaxTitles] = kGuard;
    ScanTitles(names, folders, hasJpg, hasBin);
  }
  int Count() const {
    return static_cast<int>(std::find(names, names + MaxTitles, AnsiString()) - names);
  }
  bool GuardIntact() const {
    return names[MaxTitles] == "guard" && folders[MaxTitles] == "guard" &&
           hasJpg[MaxTitles] == kGuard && hasBin[MaxTitles] == kGuard;
  }
};

TEST(ScanTitles, ListsFoldersAfterTheDotsAndTestsThemBesideTheProgram) {
  ScratchDisc disc;
  const std::string beside = disc.Name("Wiedźmin Ł"), onlyHere = disc.Name("Tylko tutaj");
  WriteFileBytes(disc.AddTitle(beside) / "1.jpg", Bytes{1});
  WriteFileBytes(disc.AddTitle(beside) / "obraz.bin", Bytes{1});
  // Only in the current directory: it is listed, but the flags look beside the program.
  disc.AddCurrentOnly(onlyHere);
  WriteFileBytes(disc.Current() / onlyHere / "1.jpg", Bytes{1});
  WriteFileBytes(disc.Current() / onlyHere / "obraz.bin", Bytes{1});
  WriteFileBytes(disc.Current() / "plik.jpg", Bytes{1});  // plain files are never titles

  const Catalogue catalogue;

  // Not a drive's root: "." and ".." come first, then the folders in enumeration order.
  std::vector<std::string> expected = {".", ".."};
  for (const auto& name : disc.HostFolderOrder()) expected.push_back(name);
  ASSERT_EQ(catalogue.Count(), static_cast<int>(expected.size()));
  for (std::size_t slot = 0; slot < expected.size(); ++slot) {
    SCOPED_TRACE(expected[slot]);
    EXPECT_EQ(catalogue.names[slot], expected[slot]);
    EXPECT_EQ(catalogue.folders[slot], disc.ProgramFolderOnZ() + "\\" + expected[slot] + "\\");
    const bool found = expected[slot] == beside;
    if (found || expected[slot] == onlyHere) {
      EXPECT_EQ(catalogue.hasJpg[slot], found);
      EXPECT_EQ(catalogue.hasBin[slot], found);
    }
  }
  EXPECT_TRUE(catalogue.GuardIntact());
}

// A file system mounted over a folder, as a disc is at /media/...; needs root (CI has it).
class MountedOver {
 public:
  explicit MountedOver(const std::filesystem::path& folder)
      : folder_(folder),
        mounted_(mount("talvesk-test", folder.c_str(), "tmpfs", 0, nullptr) == 0) {}
  ~MountedOver() {
    if (mounted_) umount2(folder_.c_str(), MNT_DETACH);
  }
  MountedOver(const MountedOver&) = delete;
  MountedOver& operator=(const MountedOver&) = delete;
  bool Mounted() const { return mounted_; }

 private:
  std::filesystem::path folder_;
  bool mounted_;
};

TEST(ScanTitles, ADiscMountedWhereNoDriveMapsItIsADrivesRoot) {
  ScratchDisc disc;
  const MountedOver mounted(disc.Current());
  if (!mounted.Mounted()) GTEST_SKIP() << "mounting a file system needs root";
  std::filesystem::current_path(disc.Current());  // into the mounted file system
  const std::string title = disc.Name("Gra");
  WriteFileBytes(disc.AddTitle(title) / "obraz.bin", Bytes{1});

  const Catalogue catalogue;

  // No "." and ".." before the title; the paths stay those of the program's folder on Z:.
  ASSERT_EQ(catalogue.Count(), 1);
  EXPECT_EQ(catalogue.names[0], title);
  EXPECT_EQ(catalogue.folders[0], disc.ProgramFolderOnZ() + "\\" + title + "\\");
  EXPECT_EQ(catalogue.hasBin[0], 1);
}

TEST(ScanTitles, FillsAtMostTheCatalogueAndIgnoresFurtherFolders) {
  ScratchDisc disc;
  disc.MapDrive('e', disc.Current());
  for (int i = 0; i < MaxTitles + 7; ++i) disc.AddCurrentOnly("t" + std::to_string(i));

  const Catalogue catalogue;

  EXPECT_TRUE(catalogue.GuardIntact());
  const std::vector<std::string> order = disc.HostFolderOrder();
  for (int slot = 0; slot < MaxTitles; ++slot) EXPECT_EQ(catalogue.names[slot], order[slot]);
}

}  // namespace
