// Opening images: what is not a good CD image gives the error a player can act on, and entries
// Linux could not name are left out of an image that is otherwise good.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <functional>

#include "drive/disc_file_system.h"
#include "drive/drive.h"
#include "tests/drive/disc_images.h"
#include "tests/support/temp_dir.h"

namespace {

Bytes Text(const std::string& text) { return Bytes(text.begin(), text.end()); }

class OpenImage : public ::testing::Test {
 protected:
  void SetUp() override {
    WriteSourceFolder(dir_.Path("source"));
    MakeIsoImage(dir_.Path("source"), dir_.Path("good.iso"), NameTrees::kRockRidgeAndJoliet);
    good_ = ReadFileBytes(dir_.Path("good.iso"));
  }

  // The names the image's root lists, the label files and "." and ".." left aside.
  static std::vector<std::string> RootNames(DiscImage& image) {
    std::vector<DirectoryEntry> entries;
    EXPECT_EQ(image.FileSystem().ListFolder(kRootInode, 4, 100, entries), 0);
    std::vector<std::string> names;
    for (const DirectoryEntry& entry : entries) names.emplace_back(entry.name);
    return names;
  }

  TempDir dir_;
  Bytes good_;
};

TEST_F(OpenImage, BadImagesGiveTheirKindOfErrorNamingTheFile) {
  const std::size_t data = RecordIn(good_, kRootRecord, "DATA");
  const std::size_t nested = RecordIn(good_, data, "NESTED");
  const std::size_t big = RecordIn(good_, data, "BIG.BIN;1");
  const std::size_t setup = RecordIn(good_, kRootRecord, "SETUP.EXE;1");
  const auto patched = [&](std::function<void(Bytes&)> patch) {
    return [this, patch](const std::filesystem::path& path) {
      Bytes image = good_;
      patch(image);
      WriteFileBytes(path, image);
    };
  };
  using Kind = DriveErrorKind;
  const struct {
    const char* what;
    std::function<void(const std::filesystem::path&)> make;
    Kind kind;
  } cases[] = {
      {"missing", [](const auto&) {}, Kind::kImageUnreadable},
      {"a folder", [](const auto& path) { std::filesystem::create_directory(path); },
       Kind::kNotADiscImage},
      // Opening a pipe for reading would wait for a writer.
      {"a pipe", [](const auto& path) { mkfifo(path.c_str(), 0600); }, Kind::kNotADiscImage},
      {"text", [](const auto& path) { WriteFileBytes(path, Text("not a disc")); },
       Kind::kNotADiscImage},
      {"empty", [](const auto& path) { WriteFileBytes(path, {}); }, Kind::kNotADiscImage},
      {"no volume descriptor", patched([](Bytes& b) { b[kPrimaryDescriptor + 1] = 'X'; }),
       Kind::kNotADiscImage},
      {"cut short in a file", patched([](Bytes& b) { b.resize(b.size() / 2); }),
       Kind::kImageDamaged},
      {"raw sectors cut short",
       [&](const auto& path) {
         WriteRawImage(dir_.Path("good.iso"), path, 1);
         std::filesystem::resize_file(path, std::filesystem::file_size(path) / 2);
       },
       Kind::kImageDamaged},
      {"a folder loop", patched([&](Bytes& b) {
         PutBothEndian(b, nested + kExtentField, ExtentOf(b, kRootRecord));
       }),
       Kind::kImageDamaged},
      {"a huge folder", patched([&](Bytes& b) { PutBothEndian(b, data + kSizeField, 0xFFFFF800); }),
       Kind::kImageDamaged},
      {"a huge file", patched([&](Bytes& b) { PutBothEndian(b, big + kSizeField, 0xFFFFFFFF); }),
       Kind::kImageDamaged},
      {"a file far beyond the end",
       patched([&](Bytes& b) { PutBothEndian(b, setup + kExtentField, 0x7FFFFFF0); }),
       Kind::kImageDamaged},
      {"512-byte blocks", patched([](Bytes& b) { b[kPrimaryDescriptor + 129] = 2; }),
       Kind::kImageDamaged},
      {"no root record", patched([](Bytes& b) { b[kRootRecord] = 0; }), Kind::kImageDamaged},
  };
  for (const auto& bad : cases) {
    SCOPED_TRACE(bad.what);
    const std::filesystem::path path = dir_.Path(std::string("image ") + bad.what);
    bad.make(path);
    try {
      DiscImage image(path);
      ADD_FAILURE() << "opened";
    } catch (const DriveError& error) {
      EXPECT_EQ(error.Kind(), bad.kind) << error.Message();
      EXPECT_NE(error.Message().find(path.string()), std::string::npos) << error.Message();
    }
  }
}

TEST_F(OpenImage, EntriesWithUnusableNamesAreLeftOut) {
  // The Rock Ridge name of Setup.exe: "NM", length, version, flags, then the name.
  const std::size_t setup = RecordIn(good_, kRootRecord, "SETUP.EXE;1");
  const std::string nm = "NM\x0e\x01";
  const std::size_t name =
      std::search(good_.begin() + static_cast<std::ptrdiff_t>(setup),
                  good_.begin() + static_cast<std::ptrdiff_t>(setup + good_[setup]), nm.begin(),
                  nm.end()) -
      good_.begin() + 5;
  const struct {
    const char* what;
    std::function<void(Bytes&)> patch;
  } cases[] = {
      {"slash", [&](Bytes& b) { b[name] = '/'; }},
      {"NUL", [&](Bytes& b) { b[name + 3] = 0; }},
      {"dot", [&](Bytes& b) { b[name - 3] = 6, b[name] = '.'; }},
      {"dot dot", [&](Bytes& b) { b[name - 3] = 7, b[name] = b[name + 1] = '.'; }},
  };
  for (const auto& bad : cases) {
    SCOPED_TRACE(bad.what);
    Bytes image = good_;
    bad.patch(image);
    WriteFileBytes(dir_.Path("names.iso"), image);
    DiscImage disc(dir_.Path("names.iso"));
    EXPECT_EQ(RootNames(disc), (std::vector<std::string>{"Data", "autorun.inf"}));
  }

  // An ISO 9660 identifier with a slash, in an image without Rock Ridge or Joliet names.
  MakeIsoImage(dir_.Path("source"), dir_.Path("plain.iso"), NameTrees::kIsoOnly);
  Bytes plain = ReadFileBytes(dir_.Path("plain.iso"));
  plain[RecordIn(plain, kRootRecord, "SETUP.EXE;1") + 33] = '/';
  WriteFileBytes(dir_.Path("plain.iso"), plain);
  DiscImage disc(dir_.Path("plain.iso"));
  EXPECT_EQ(RootNames(disc), (std::vector<std::string>{"AUTORUN.INF", "DATA"}));
}

}  // namespace
