// The main window, headless: the tiles it shows, the failure sequence of a cover that cannot be
// loaded, and clicks that launch or do not.
#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "framework/forms/application.h"
#include "framework/window/headless_backend.h"
#include "gtest/gtest.h"
#include "launcher/Unit1.h"
#include "tests/launcher/window_fixture.h"
#include "tests/support/jpeg_files.h"

namespace fs = std::filesystem;

namespace {

class MainWindow : public LauncherWindowTest {
 protected:
  // Catalogue titles laid out so the current directory is a drive's root (no "." and "..").
  void AtDriveRoot() { disc_.MapDrive('e', disc_.Current()); }
};

TEST_F(MainWindow, NoTitlesLeavesEveryTileWithThePlaceholderAndTheWindowWithItsIcon) {
  AtDriveRoot();
  Open();
  for (int slot = 0; slot < 6; ++slot) {
    EXPECT_EQ(Caption(slot)->GetText(), "");
    EXPECT_TRUE(ShowsPlaceholder(slot)) << slot;
  }
  // The icon is a compiled-in resource: the window gets it without the entry function's help.
  std::vector<int> iconSizes;
  for (const TIconImage& image : headless_->Icons()) iconSizes.push_back(image.width);
  EXPECT_EQ(iconSizes, (std::vector<int>{16, 24, 32, 48, 64, 72, 96, 128}));
  EXPECT_TRUE(headless_->Messages().empty());
}

// Covers load in slot order past titles without one; the first that fails stops the later covers
// and every mount command.
TEST_F(MainWindow, ACoverThatFailsStopsLaterCoversAndAllCommands) {
  AtDriveRoot();
  disc_.InstallMountStandIn();
  for (int i = 0; i < 6; ++i) disc_.AddTitle(disc_.Name("Gra " + std::to_string(i)));
  const std::vector<std::string> order = disc_.HostFolderOrder();
  // Slot 1 has no cover; slot 3 holds its cover under another name, so "1.jpg" cannot be opened.
  for (int slot = 0; slot < 6; ++slot) {
    const fs::path folder = disc_.ProgramFolder() / order[slot];
    if (slot != 1) MakeCover(folder / (slot == 3 ? "okladka.jpg" : "1.jpg"), 32, 32);
    WriteFileBytes(folder / "obraz.bin", Bytes{1});
  }

  Open();

  ASSERT_EQ(headless_->Messages().size(), 1u);
  EXPECT_EQ(headless_->Messages()[0].title, "Talvesk");
  EXPECT_TRUE(Form1->Visible);
  for (int slot = 0; slot < 6; ++slot) {
    SCOPED_TRACE(slot);
    EXPECT_EQ(Caption(slot)->GetText(), order[slot]);
    EXPECT_EQ(Form1->HasJpg[slot], slot == 1 ? 0 : 1);
    EXPECT_EQ(Form1->MountCommands[slot], "");
    EXPECT_EQ(ShowsPlaceholder(slot), slot != 0 && slot != 2);
  }

  // Every click now hands an empty command over, which starts nothing.
  for (int slot = 0; slot < 6; ++slot) ClickTile(slot);
  EXPECT_TRUE(Form1->Visible);
  EXPECT_EQ(headless_->Messages().size(), 1u);
  EXPECT_FALSE(fs::exists(disc_.RecordFile()));
}

// Captions wider than the tile spacing: each label paints its own box black before its text, so
// the later caption hides the earlier one's overflow and reads exactly as if drawn alone.
TEST_F(MainWindow, ALongCaptionIsCoveredByTheNextOneAndBothStayReadable) {
  AtDriveRoot();
  for (const char* base :
       {"Wielka Przygoda Kapitana Bomby i Przyjaciol", "Tajemnica Zaginionej Wyspy na Oceanie"}) {
    std::string name = disc_.Name(base);
    name.resize(40);
    disc_.AddTitle(name);
  }
  const std::vector<std::string> order = disc_.HostFolderOrder();
  Open();

  for (int slot = 0; slot < 2; ++slot) {
    SCOPED_TRACE(slot);
    TLabel* const label = Caption(slot);
    ASSERT_EQ(label->GetText(), order[slot]);
    ASSERT_GT(label->Width, 112);
    std::vector<std::uint32_t> alone(static_cast<std::size_t>(label->Width * label->Height), 0);
    TCanvas canvas(TSurface{alone.data(), label->Width, label->Height, label->Width});
    canvas.Font = label->Font;
    canvas.TextOut(0, 0, order[slot]);
    // The first caption shows up to the second's box, the second up to the window's edge.
    const int visible =
        std::min(label->Width, slot == 0 ? 112 : Form1->ClientWidth() - label->Left);
    int differing = 0;
    for (int y = 0; y < label->Height; ++y) {
      for (int x = 0; x < visible; ++x) {
        differing += headless_->Pixel(label->Left + x, label->Top + y) !=
                     alone[static_cast<std::size_t>(y * label->Width + x)];
      }
    }
    EXPECT_EQ(differing, 0);
  }
}

// Only a press and a release on the same tile launch; the mount program then gets the image's
// path as one argument, spaces and all, and the window closes.
TEST_F(MainWindow, OnlyAPressAndAReleaseOnTheSameTileLaunchAndClose) {
  AtDriveRoot();
  disc_.MapDrive('d', disc_.ProgramFolder());
  disc_.InstallMountStandIn();
  for (int i = 0; i < 3; ++i)
    WriteFileBytes(disc_.AddTitle(disc_.Name("Gra " + std::to_string(i))) / "gra.bin", Bytes{1});
  const std::vector<std::string> order = disc_.HostFolderOrder();
  Open();

  // Tile 1's middle, the gap between tiles 1 and 2, tile 3's middle, outside the window.
  const TPoint tile1{60, 60}, gap{116, 60}, tile3{284, 60}, outside{-20, 60};
  const std::pair<TPoint, TPoint> drags[] = {
      {tile1, tile3}, {gap, tile3}, {tile3, gap}, {tile3, outside}};
  for (const auto& [from, to] : drags) {
    headless_->PushPress(from.X, from.Y);
    headless_->PushRelease(to.X, to.Y);
  }
  headless_->PushRelease(tile3.X, tile3.Y);  // a release without a press
  Application->Run();
  EXPECT_TRUE(Form1->Visible);
  EXPECT_FALSE(fs::exists(disc_.RecordFile()));

  ClickTile(2);
  EXPECT_FALSE(Form1->Visible);
  EXPECT_TRUE(Application->Terminated());
  // The program's folder is a drive's root, which keeps its backslash; the scan adds another.
  EXPECT_EQ(disc_.WaitForRecordedArguments(),
            (std::vector<std::string>{"-mount", "0,D:\\\\" + order[2] + "\\obraz.bin"}));
}

// Clicks that launch nothing keep the window open: no mount program, no image, or a double quote
// in the folder name, which would close the quoted image path early and pass the rest of the name
// as further arguments (such a title gets no command).
TEST_F(MainWindow, ClicksThatLaunchNothingKeepTheWindowOpen) {
  AtDriveRoot();
  const std::string noImage = disc_.Name("Bez obrazu"), plain = disc_.Name("Gra");
  const std::string sneaky = disc_.Name("Gra\" -unmount \"x");
  MakeCover(disc_.AddTitle(noImage) / "1.jpg", 16, 16);
  WriteFileBytes(disc_.AddTitle(sneaky) / "obraz.bin", Bytes{1});
  WriteFileBytes(disc_.AddTitle(plain) / "obraz.bin", Bytes{1});

  Open();
  EXPECT_EQ(Form1->HasBin[SlotOf(sneaky)], 1);
  EXPECT_EQ(Form1->MountCommands[SlotOf(sneaky)], "");
  EXPECT_NE(Form1->MountCommands[SlotOf(plain)], "");
  ClickTile(SlotOf(plain));  // no mount program is installed: the launch fails silently
  EXPECT_TRUE(Form1->Visible);
  disc_.InstallMountStandIn();
  ClickTile(SlotOf(noImage));
  ClickTile(SlotOf(sneaky));
  EXPECT_TRUE(Form1->Visible);
  EXPECT_FALSE(fs::exists(disc_.RecordFile()));
  EXPECT_TRUE(headless_->Messages().empty());
}

}  // namespace
