// Discs made to hurt: awkward names, covers that are not what their names promise, a folder
// nobody may read. The window stays usable, a failure is shown once and nothing is started that
// should not be.
#include <fcntl.h>
#include <jerror.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "framework/forms/application.h"
#include "launcher/Unit1.h"
#include "tests/launcher/window_fixture.h"
#include "tests/support/jpeg_files.h"

namespace fs = std::filesystem;

namespace {

class HostileDisc : public LauncherWindowTest {
 protected:
  void SetUp() override {
    LauncherWindowTest::SetUp();
    // The current directory is a drive's root (no "." and ".."), and never the program's folder.
    disc_.MapDrive('e', disc_.Current());
    disc_.InstallMountStandIn();
  }
};

TEST_F(HostileDisc, AwkwardNamesAreShownAndMountedByteForByte) {
  const std::string prefix = disc_.Name("");
  const std::vector<std::string> names = {
      disc_.Name("line\nbreak"), disc_.Name("latin2 \xb3\xf3\xbf\xea"), disc_.Name("cut \xe2\x82"),
      prefix + std::string(255 - prefix.size(), 'n')};
  // A zero-byte image is still the title's image: mounting it is the mount program's business.
  for (const auto& name : names) WriteFileBytes(disc_.AddTitle(name) / "obraz.bin", Bytes{});

  Open();

  ASSERT_TRUE(headless_->Messages().empty());
  for (const auto& name : names) {
    const int slot = SlotOf(name);
    EXPECT_EQ(Caption(slot)->GetText(), name);
    EXPECT_EQ(Form1->HasBin[slot], 1);
  }
  // The name without a line break goes out exactly as the file system gave it.
  const std::string latin2 = names[1];
  ClickTile(SlotOf(latin2));
  EXPECT_FALSE(Form1->Visible);
  ExpectMounted(latin2);
}

TEST_F(HostileDisc, CoversThatAreNotPicturesFailOnceAndLaunchesStillWork) {
  const std::string folderCover = disc_.Name("a folder cover");
  const std::string emptyCover = disc_.Name("an empty cover");
  fs::create_directories(disc_.AddTitle(folderCover) / "1.jpg");
  WriteFileBytes(disc_.ProgramFolder() / folderCover / "obraz.bin", Bytes{1});
  WriteFileBytes(disc_.AddTitle(emptyCover) / "1.jpg", Bytes{});

  Open();

  // A folder named 1.jpg is no JPEG file: that title keeps its placeholder quietly. An empty
  // cover loads as a picture without bytes, which cannot be drawn: that is shown once, however
  // often the window repaints.
  const int folderSlot = SlotOf(folderCover), emptySlot = SlotOf(emptyCover);
  EXPECT_EQ(Form1->HasJpg[folderSlot], 0);
  EXPECT_TRUE(ShowsPlaceholder(folderSlot));
  EXPECT_EQ(Form1->HasJpg[emptySlot], 1);
  for (const int slot : {emptySlot, emptySlot, 5}) ClickTile(slot);
  EXPECT_TRUE(Form1->Visible);
  ASSERT_EQ(headless_->Messages().size(), 1u);
  EXPECT_EQ(headless_->Messages()[0].text, "JPEG error #42");
  EXPECT_FALSE(fs::exists(disc_.RecordFile()));

  ClickTile(folderSlot);
  EXPECT_FALSE(Form1->Visible);
  ExpectMounted(folderCover);
}

TEST_F(HostileDisc, HugeAndTruncatedCoversLeaveTheWindowUsable) {
  const std::string huge = disc_.Name("huge"), truncated = disc_.Name("truncated");
  const fs::path hugeFolder = disc_.AddTitle(huge), truncatedFolder = disc_.AddTitle(truncated);
  // The frame header announces 65500 x 65500; the data ends long before.
  MakeCover(hugeFolder / "1.jpg", 16, 16);
  WriteFileBytes(hugeFolder / "1.jpg",
                 WithFrameSize(ReadFileBytes(hugeFolder / "1.jpg"), 65500, 65500));
  // A cover cut a little after its scan begins: the header reads, the image is mostly missing.
  MakeCover(truncatedFolder / "1.jpg", 256, 256);
  Bytes cover = ReadFileBytes(truncatedFolder / "1.jpg");
  cover.resize(ScanHeaderAt(cover) + 40);
  WriteFileBytes(truncatedFolder / "1.jpg", cover);
  WriteFileBytes(truncatedFolder / "obraz.bin", Bytes{1});

  Open();
  const int truncatedSlot = SlotOf(truncated);
  for (int slot = 0; slot < 6; ++slot) {
    if (slot != truncatedSlot) ClickTile(slot);
  }

  ASSERT_EQ(headless_->Messages().size(), 1u);
  EXPECT_EQ(headless_->Messages()[0].text, "JPEG error #" + std::to_string(JERR_IMAGE_TOO_BIG));
  EXPECT_FALSE(ShowsPlaceholder(truncatedSlot));
  EXPECT_TRUE(Form1->Visible);
  ClickTile(truncatedSlot);
  EXPECT_FALSE(Form1->Visible);
  ExpectMounted(truncated);
}

// A FIFO named 1.jpg would block the cover's open for good, waiting for a writer. The watchdog
// plays that writer should the open ever block, so a regression fails instead of hanging.
TEST_F(HostileDisc, ACoverThatIsAFifoIsRefusedOnceWithoutWaiting) {
  const std::string name = disc_.Name("fifo");
  const fs::path folder = disc_.AddTitle(name);
  const fs::path fifo = folder / "1.jpg";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  WriteFileBytes(folder / "obraz.bin", Bytes{1});
  std::atomic<bool> done{false};
  std::thread watchdog([&] {
    while (!done) {
      const int writer = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
      if (writer >= 0) ::close(writer);
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
  });

  Open();
  ClickTile(5);
  done = true;
  watchdog.join();

  ASSERT_EQ(headless_->Messages().size(), 1u);
  const AnsiString& text = headless_->Messages()[0].text;
  EXPECT_EQ(text.rfind("Cannot open file \"", 0), 0u) << text;
  EXPECT_TRUE(text.ends_with("1.jpg\". Not a regular file")) << text;
  EXPECT_TRUE(ShowsPlaceholder(0));
  EXPECT_TRUE(Form1->Visible);
}

// Root opens every folder, so the scan runs in a child that has given up root.
TEST_F(HostileDisc, AnUnreadableTitleFolderIsPassedOver) {
  const std::string locked = disc_.Name("locked"), open = disc_.Name("open");
  disc_.AddTitle(locked);
  disc_.AddTitle(open);
  fs::permissions(disc_.Current().parent_path(), fs::perms::owner_all | fs::perms::others_exec);
  fs::permissions(disc_.Current(),
                  fs::perms::owner_all | fs::perms::others_read | fs::perms::others_exec);
  fs::permissions(disc_.Current() / locked, fs::perms::none);

  const pid_t child = fork();
  ASSERT_NE(child, -1);
  if (child == 0) {
    constexpr uid_t kNobody = 65534;
    if (geteuid() == 0 && (setgid(kNobody) != 0 || setuid(kNobody) != 0)) _exit(2);
    AnsiString names[MaxTitles], folders[MaxTitles];
    std::int32_t hasJpg[MaxTitles] = {}, hasBin[MaxTitles] = {};
    ScanTitles(names, folders, hasJpg, hasBin);
    _exit(names[0] == open && names[1].empty() ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  fs::permissions(disc_.Current() / locked, fs::perms::owner_all);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0)
      << "1: the locked folder became a title; 2: could not drop root";
}

}  // namespace
