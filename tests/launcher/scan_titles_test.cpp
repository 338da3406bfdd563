// The title scan against real folders: what becomes a title, in which order, the folder paths
// built from the program's own folder, and the presence flags.
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "launcher/Unit1.h"
#include "tests/launcher/scratch_disc.h"

namespace fs = std::filesystem;

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
  }
  void Scan() { ScanTitles(names, folders, hasJpg, hasBin); }
  int Count() const {
    return static_cast<int>(std::find(names, names + MaxTitles, AnsiString()) - names);
  }
  bool GuardIntact() const {
    return names[MaxTitles] == "guard" && folders[MaxTitles] == "guard" &&
           hasJpg[MaxTitles] == kGuard && hasBin[MaxTitles] == kGuard;
  }
};

// Independent of the launcher: does the folder hold a regular file with this extension, in any
// letter case?
bool HoldsFileWithExtension(const fs::path& folder, const std::string& extension) {
  for (const auto& entry : fs::directory_iterator(folder)) {
    std::string name = entry.path().filename().string();
    for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (entry.is_regular_file() && name.ends_with(extension)) return true;
  }
  return false;
}

}  // namespace

TEST(ScanTitles, ListsFoldersBesideDotsAndTestsThemBesideTheProgram) {
  ScratchDisc disc;
  const std::string covered = disc.Name("Rycerze Nocy");
  const std::string polish = disc.Name("Wiedźmin Ł");
  const std::string otherNames = disc.Name("Inne nazwy");
  const std::string emptyTitle = disc.Name("Pusty");
  const std::string onlyHere = disc.Name("Tylko tutaj");
  ScratchDisc::WriteFile(disc.AddTitle(covered) / "1.jpg", "x");
  ScratchDisc::WriteFile(disc.AddTitle(covered) / "obraz.bin", "x");
  ScratchDisc::WriteFile(disc.AddTitle(polish) / "obraz.bin", "x");
  // Any *.jpg / *.bin counts, in any letter case; folders named like files do not.
  ScratchDisc::WriteFile(disc.AddTitle(otherNames) / "Okladka.JPG", "x");
  ScratchDisc::WriteFile(disc.AddTitle(otherNames) / "gra.Bin", "x");
  fs::create_directories(disc.AddTitle(emptyTitle) / "folder.jpg");
  fs::create_directories(disc.AddTitle(emptyTitle) / "folder.bin");
  // Only in the current directory: it is listed, but the flags look beside the program.
  disc.AddCurrentOnly(onlyHere);
  ScratchDisc::WriteFile(disc.Current() / onlyHere / "1.jpg", "x");
  ScratchDisc::WriteFile(disc.Current() / onlyHere / "obraz.bin", "x");
  // Plain files are never titles.
  ScratchDisc::WriteFile(disc.Current() / "plik.jpg", "x");

  Catalogue catalogue;
  catalogue.Scan();

  // Not a drive's root: "." and ".." come first, then the folders in enumeration order.
  std::vector<std::string> expected = {".", ".."};
  for (const auto& name : disc.HostFolderOrder()) expected.push_back(name);
  ASSERT_EQ(catalogue.Count(), static_cast<int>(expected.size()));
  const std::string programFolder = disc.ProgramFolderOnZ();
  for (std::size_t slot = 0; slot < expected.size(); ++slot) {
    SCOPED_TRACE(expected[slot]);
    EXPECT_EQ(catalogue.names[slot], expected[slot]);
    EXPECT_EQ(catalogue.folders[slot], programFolder + "\\" + expected[slot] + "\\");
  }
  EXPECT_TRUE(catalogue.GuardIntact());

  auto flagsOf = [&](const std::string& name) {
    const auto slot = std::find(expected.begin(), expected.end(), name) - expected.begin();
    return std::pair(catalogue.hasJpg[slot], catalogue.hasBin[slot]);
  };
  EXPECT_EQ(flagsOf(covered), std::pair(1, 1));
  EXPECT_EQ(flagsOf(polish), std::pair(0, 1));
  EXPECT_EQ(flagsOf(otherNames), std::pair(1, 1));
  EXPECT_EQ(flagsOf(emptyTitle), std::pair(0, 0));
  EXPECT_EQ(flagsOf(onlyHere), std::pair(0, 0));
  // "." and ".." look into the program's folder and its parent.
  const fs::path folder = disc.ProgramFolder();
  EXPECT_EQ(flagsOf("."), std::pair(int(HoldsFileWithExtension(folder, ".jpg")),
                                    int(HoldsFileWithExtension(folder, ".bin"))));
  EXPECT_EQ(flagsOf(".."), std::pair(int(HoldsFileWithExtension(folder.parent_path(), ".jpg")),
                                     int(HoldsFileWithExtension(folder.parent_path(), ".bin"))));
}

TEST(ScanTitles, ProgramAtADriveRootGetsTwoBackslashesAndNoDotEntries) {
  ScratchDisc disc;
  disc.MapDrive('d', disc.ProgramFolder());
  disc.MapDrive('e', disc.Current());
  const std::string demo = disc.Name("Demo");
  ScratchDisc::WriteFile(disc.AddTitle(demo) / "1.jpg", "x");
  ScratchDisc::WriteFile(disc.AddTitle(demo) / "obraz.bin", "x");

  Catalogue catalogue;
  // Flags already set stay set: the scan never clears them.
  catalogue.hasJpg[1] = catalogue.hasBin[1] = 1;
  catalogue.Scan();

  EXPECT_EQ(catalogue.Count(), 1);
  EXPECT_EQ(catalogue.names[0], demo);
  EXPECT_EQ(catalogue.folders[0], "D:\\\\" + demo + "\\");
  EXPECT_EQ(catalogue.hasJpg[0], 1);
  EXPECT_EQ(catalogue.hasBin[0], 1);
  EXPECT_EQ(catalogue.hasJpg[1], 1);
  EXPECT_EQ(catalogue.hasBin[1], 1);
}

TEST(ScanTitles, FillsAtMostTheCatalogueAndIgnoresFurtherFolders) {
  ScratchDisc disc;
  disc.MapDrive('e', disc.Current());
  for (int i = 0; i < MaxTitles + 7; ++i) disc.AddCurrentOnly("t" + std::to_string(i));

  Catalogue catalogue;
  catalogue.Scan();

  EXPECT_TRUE(catalogue.GuardIntact());
  const std::vector<std::string> order = disc.HostFolderOrder();
  for (int slot = 0; slot < MaxTitles; ++slot) EXPECT_EQ(catalogue.names[slot], order[slot]);
  EXPECT_EQ(std::set<AnsiString>(catalogue.names, catalogue.names + MaxTitles).size(),
            std::size_t(MaxTitles));
}

TEST(ScanTitles, CurrentDirectoryThatCannotBeOpenedYieldsNothing) {
  ScratchDisc disc;
  disc.AddCurrentOnly("Demo");
  // Running as root defeats permission bits, so make opening fail by using up the descriptors.
  rlimit saved{};
  ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &saved), 0);
  rlimit tight = saved;
  tight.rlim_cur = 64;
  ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &tight), 0);
  std::vector<int> held;
  for (int fd = dup(0); fd >= 0; fd = dup(0)) held.push_back(fd);

  Catalogue catalogue;
  catalogue.Scan();

  for (int fd : held) close(fd);
  setrlimit(RLIMIT_NOFILE, &saved);
  EXPECT_EQ(catalogue.Count(), 0);
  EXPECT_EQ(catalogue.folders[0], "");
  EXPECT_TRUE(catalogue.GuardIntact());
}
