// The main window, headless: what showing it does (captions, covers, mount commands), the
// failure sequence of a cover that cannot be loaded, and clicks that launch or do not.
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "framework/classes/stream.h"
#include "framework/forms/application.h"
#include "framework/window/headless_backend.h"
#include "gtest/gtest.h"
#include "launcher/Unit1.h"
#include "launcher/resources.h"
#include "tests/launcher/window_fixture.h"
#include "tests/support/jpeg_files.h"

namespace fs = std::filesystem;

namespace {

const std::string kPrefix = "\"C:\\Program Files\\DAEMON Tools\\daemon.exe\" -mount 0,\"";
const std::string kSuffix = "obraz.bin\"";

class MainWindow : public LauncherWindowTest {
 protected:
  // Catalogue titles laid out so the current directory is a drive's root (no "." and "..").
  void AtDriveRoot() { disc_.MapDrive('e', disc_.Current()); }
};

TEST_F(MainWindow, NoTitlesLeavesEmptyCaptionsPlaceholdersAndBareCommandsUnderTheIcon) {
  AtDriveRoot();
  disc_.InstallMountStandIn();
  Open();
  for (int slot = 0; slot < 6; ++slot) {
    EXPECT_EQ(Caption(slot)->GetText(), "");
    EXPECT_TRUE(ShowsPlaceholder(slot));
    EXPECT_EQ(Form1->MountCommands[slot], kPrefix + kSuffix);
  }
  // The icon is a compiled-in resource: the window gets it without the entry function's help.
  std::vector<int> iconSizes;
  for (const TIconImage& image : headless_->Icons()) iconSizes.push_back(image.width);
  EXPECT_EQ(iconSizes, (std::vector<int>{16, 24, 32, 48, 64, 72, 96, 128}));
  for (int slot = 0; slot < 6; ++slot) ClickTile(slot);
  EXPECT_TRUE(Form1->Visible);
  EXPECT_FALSE(fs::exists(disc_.RecordFile()));
  EXPECT_TRUE(headless_->Messages().empty());
}

TEST_F(MainWindow, ShowingFillsCaptionsCoversAndCommandsForTheFirstSixTitles) {
  AtDriveRoot();
  for (int i = 0; i < 8; ++i) disc_.AddTitle(disc_.Name("Gra " + std::to_string(i)));
  const std::vector<std::string> order = disc_.HostFolderOrder();
  // Slot 0: a large cover and an image; slot 2: a cover, no image; slot 3: an image, no cover.
  MakeCover(disc_.ProgramFolder() / order[0] / "1.jpg", 640, 480);
  ScratchDisc::WriteFile(disc_.ProgramFolder() / order[0] / "obraz.bin", "x");
  MakeCover(disc_.ProgramFolder() / order[2] / "1.jpg", 64, 64);
  ScratchDisc::WriteFile(disc_.ProgramFolder() / order[3] / "obraz.bin", "x");

  Open();

  ASSERT_TRUE(headless_->Messages().empty()) << headless_->Messages()[0].text;
  for (int slot = 0; slot < 6; ++slot) {
    SCOPED_TRACE(slot);
    EXPECT_EQ(Caption(slot)->GetText(), order[slot]);
    const AnsiString folder = disc_.ProgramFolderOnZ() + "\\" + order[slot] + "\\";
    EXPECT_EQ(Form1->TitleFolders[slot], folder);
    EXPECT_EQ(Form1->MountCommands[slot], kPrefix + folder + kSuffix);
    const bool covered = slot == 0 || slot == 2;
    EXPECT_EQ(ShowsPlaceholder(slot), !covered);
    if (covered) {
      // Chosen by the ".jpg" extension through the picture registry.
      ASSERT_NE(Tile(slot)->Picture()->Graphic(), nullptr);
      EXPECT_STREQ(Tile(slot)->Picture()->Graphic()->ClassName(), "TJPEGImage");
    }
  }
  // Titles past the sixth are catalogued but get no command.
  EXPECT_EQ(Form1->TitleNames[7], order[7]);
  EXPECT_EQ(Form1->MountCommands[6], "");
  EXPECT_EQ(Form1->MountCommands[7], "");

  // The 640 x 480 cover is squeezed into the 105 x 105 tile: blue left, yellow right.
  const std::uint32_t left = headless_->Pixel(8 + 20, 8 + 52);
  const std::uint32_t right = headless_->Pixel(8 + 85, 8 + 52);
  EXPECT_LT(left >> 16 & 0xFF, 60u);
  EXPECT_GT(left & 0xFF, 190u);
  EXPECT_GT(right >> 16 & 0xFF, 190u);
  EXPECT_GT(right >> 8 & 0xFF, 190u);
  EXPECT_LT(right & 0xFF, 60u);
}

TEST_F(MainWindow, ACoverThatFailsStopsLaterCoversAndAllCommands) {
  AtDriveRoot();
  disc_.InstallMountStandIn();
  for (int i = 0; i < 6; ++i) disc_.AddTitle(disc_.Name("Gra " + std::to_string(i)));
  const std::vector<std::string> order = disc_.HostFolderOrder();
  for (int slot = 0; slot < 6; ++slot) {
    const fs::path folder = disc_.ProgramFolder() / order[slot];
    // Slot 1 holds its cover under another name, so "1.jpg" cannot be opened.
    MakeCover(folder / (slot == 1 ? "okladka.jpg" : "1.jpg"), 32, 32);
    ScratchDisc::WriteFile(folder / "obraz.bin", "x");
  }

  Open();

  ASSERT_EQ(headless_->Messages().size(), 1u);
  EXPECT_EQ(headless_->Messages()[0].title, "Talvesk");
  EXPECT_TRUE(Form1->Visible);
  EXPECT_FALSE(ShowsPlaceholder(0));
  for (int slot = 0; slot < 6; ++slot) {
    SCOPED_TRACE(slot);
    EXPECT_EQ(Caption(slot)->GetText(), order[slot]);
    EXPECT_EQ(Form1->HasJpg[slot], 1);
    EXPECT_EQ(Form1->MountCommands[slot], "");
    if (slot > 0) {
      EXPECT_TRUE(ShowsPlaceholder(slot));
    }
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
  for (const char* base : {"Wielka Przygoda Kapitana Bomby i Przyjaciol",
                           "Tajemnica Zaginionej "
                           "Wyspy na Oceanie"}) {
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
    // The caption alone, white on black.
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
    ScratchDisc::WriteFile(disc_.AddTitle(disc_.Name("Gra " + std::to_string(i))) / "gra.bin", "x");
  const std::vector<std::string> order = disc_.HostFolderOrder();
  Open();
  // The program's folder is a drive's root, which keeps its backslash; the scan adds another.
  EXPECT_EQ(Form1->MountCommands[2], kPrefix + "D:\\\\" + order[2] + "\\" + kSuffix);

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
  ScratchDisc::WriteFile(disc_.AddTitle(sneaky) / "obraz.bin", "x");
  ScratchDisc::WriteFile(disc_.AddTitle(plain) / "obraz.bin", "x");

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
