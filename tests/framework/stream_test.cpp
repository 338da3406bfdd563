#include "framework/classes/stream.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <limits>
#include <string>

#include "framework/classes/file_save.h"
#include "framework/system/exceptions.h"
#include "tests/support/expect_message.h"
#include "tests/support/files.h"
#include "tests/support/temp_dir.h"

namespace {

Bytes Contents(TMemoryStream& stream) {
  return Bytes(stream.Memory(), stream.Memory() + stream.GetSize());
}

TEST(MemoryStream, WritesAtThePositionGapsReadAsZeroAndSizesAreBounded) {
  TMemoryStream stream;
  stream.WriteBuffer("abcdef", 6);
  stream.SetPosition(2);
  stream.WriteBuffer("XY", 2);
  stream.SetPosition(8);
  stream.WriteBuffer("Z", 1);
  EXPECT_EQ(Contents(stream), (Bytes{'a', 'b', 'X', 'Y', 'e', 'f', 0, 0, 'Z'}));
  char tail[8];
  stream.SetPosition(7);
  EXPECT_EQ(stream.Read(tail, 8), 2);
  EXPECT_EQ(stream.Read(tail, 8), 0);
  EXPECT_THROW(stream.Seek(-1, TSeekOrigin::soBeginning), EStreamError);

  // Bytes dropped by a shrink never come back, by growing or by a write past the end.
  stream.SetSize64(2);
  stream.SetSize64(3);
  stream.SetPosition(5);
  stream.WriteBuffer("!", 1);
  EXPECT_EQ(Contents(stream), (Bytes{'a', 'b', 0, 0, 0, '!'}));

  // Refused sizes raise and change nothing; a shrink pulls the position back to the new end.
  for (const std::int64_t size :
       {std::int64_t{-1}, std::int64_t{1} << 50, std::numeric_limits<std::int64_t>::max()}) {
    EXPECT_THROW(stream.SetSize64(size), EOutOfResources) << size;
  }
  EXPECT_EQ(Contents(stream), (Bytes{'a', 'b', 0, 0, 0, '!'}));
  stream.SetSize64(2);
  EXPECT_EQ(stream.GetPosition(), 2);
}

// Hands out at most 3 bytes per call, as pipes do.
class TricklingStream : public TMemoryStream {
 public:
  std::int64_t Read(void* buffer, std::int64_t count) override {
    return TMemoryStream::Read(buffer, std::min<std::int64_t>(count, 3));
  }
};

TEST(Stream, ExactReadsAndCopiesFailUnlessEveryByteMoves) {
  TricklingStream stream;
  stream.WriteBuffer("0123456789", 10);
  stream.SetPosition(0);
  char buffer[11] = {};
  stream.ReadBuffer(buffer, 8);  // a trickle still satisfies an exact read
  EXPECT_STREQ(buffer, "01234567");
  ExpectMessage<EReadError>([&] { stream.ReadBuffer(buffer, 3); }, "Stream read error");
  EXPECT_THROW(stream.ReadBuffer(buffer, -1), EReadError);

  TMemoryStream copy;
  EXPECT_EQ(copy.CopyFrom(stream, 0), 10);  // 0: the whole source from its start
  EXPECT_EQ(std::memcmp(copy.Memory(), "0123456789", 10), 0);
  stream.SetPosition(6);
  EXPECT_THROW(copy.CopyFrom(stream, 5), EReadError);
}

// A regular file, or the file a link leads to, is replaced whole or not at all and keeps its
// permission bits (the link stays a link); a device is written in place; nothing is left behind
// either way, whatever the length of the name. Reading follows a link too, and names the file it
// cannot open.
TEST(FileSave, RegularFilesAndLinkTargetsAreReplacedByRenameDevicesWrittenInPlace) {
  namespace fs = std::filesystem;
  TempDir dir;
  const std::string kept = dir.Path("kept.bin").string(), link = dir.Path("link.bin").string();
  const auto write = [](const char* text, bool fail) {
    return [=](TStream& file) {
      file.WriteBuffer(text, static_cast<std::int64_t>(std::strlen(text)));
      if (fail) throw EWriteError("writer gave up");
    };
  };
  SaveFileReplacing(kept, write("old", false));
  fs::permissions(kept, fs::perms(0640));
  EXPECT_THROW(SaveFileReplacing(kept, write("partial", true)), EWriteError);
  EXPECT_EQ(ReadFileText(kept), "old");
  SaveFileReplacing(kept, write("new", false));
  EXPECT_EQ(ReadFileText(kept), "new");
  EXPECT_EQ(fs::status(kept).permissions(), fs::perms(0640));

  fs::create_symlink(kept, link);
  fs::create_symlink("link.bin", dir.Path("chain.bin"));  // relative, to another link
  fs::create_symlink("later.bin", dir.Path("dangling.bin"));
  SaveFileReplacing(link, write("through the link", false));
  EXPECT_THROW(SaveFileReplacing(dir.Path("chain.bin").string(), write("partial", true)),
               EWriteError);
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_EQ(ReadFileText(kept), "through the link");
  EXPECT_EQ(fs::status(kept).permissions(), fs::perms(0640));
  SaveFileReplacing(dir.Path("dangling.bin").string(), write("made", false));
  EXPECT_TRUE(fs::is_symlink(dir.Path("dangling.bin")));
  EXPECT_EQ(ReadFileText(dir.Path("later.bin")), "made");
  TMemoryStream loaded;
  loaded.LoadFromFile(link);
  EXPECT_EQ(Contents(loaded), ReadFileBytes(kept));
  const std::string longest = dir.Path(std::string(255, 'n')).string();
  SaveFileReplacing(longest, write("long", false));
  EXPECT_EQ(ReadFileText(longest), "long");
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.Root()), {}), 6) << "no temporary left";

  ExpectMessage<EWriteError>([&] { SaveFileReplacing("/dev/full", write("x", false)); },
                             "Cannot write file \"/dev/full\". No space left on device");
  EXPECT_THROW(SaveFileReplacing(dir.Path("no/such/folder.bin").string(), write("x", false)),
               EFOpenError);
  const std::string missing = dir.Path("missing.bin").string();
  ExpectMessage<EFOpenError>([&] { TFileStream absent(missing, fmOpenRead); },
                             "Cannot open file \"" + missing + "\". No such file or directory");
  EXPECT_THROW(TFileStream(dir.Root().string(), fmOpenRead), EFOpenError);  // a folder
}

}  // namespace
