#include "framework/classes/stream.h"

#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "framework/classes/persistent.h"
#include "framework/system/exceptions.h"
#include "tests/support/expect_message.h"
#include "tests/support/temp_dir.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
Bytes Contents(TMemoryStream& stream) {
  return Bytes(stream.Memory(), stream.Memory() + stream.GetSize());
}

TEST(MemoryStream, WritesAtThePositionAndGapsReadAsZero) {
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
}

TEST(MemoryStream, RefusedSizesRaiseAndChangeNothing) {
  TMemoryStream stream;
  stream.WriteBuffer("keep", 4);
  for (const std::int64_t size :
       {std::int64_t{-1}, std::int64_t{1} << 50, std::numeric_limits<std::int64_t>::max()}) {
    EXPECT_THROW(stream.SetSize64(size), EOutOfResources) << size;
  }
  EXPECT_EQ(Contents(stream), (Bytes{'k', 'e', 'e', 'p'}));
  stream.SetSize64(2);
  EXPECT_EQ(stream.GetPosition(), 2);  // pulled back to the new end
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

TEST(FileStream, RoundTripsAndNamesTheFileItCannotOpen) {
  TempDir dir;
  const std::string path = dir.Path("data.bin").string();
  TMemoryStream data;
  data.WriteBuffer("hello, file", 11);
  data.SaveToFile(path);
  TMemoryStream loaded;
  loaded.LoadFromFile(path);
  EXPECT_EQ(Contents(loaded), Contents(data));

  TFileStream file(path, fmOpenRead);
  file.SetPosition(7);
  char rest[5];
  file.ReadBuffer(rest, 4);
  EXPECT_THROW(file.ReadBuffer(rest, 1), EReadError);
  EXPECT_THROW(file.WriteBuffer("x", 1), EWriteError);  // opened for reading only

  const std::string missing = dir.Path("missing.bin").string();
  ExpectMessage<EFOpenError>([&] { TFileStream absent(missing, fmOpenRead); },
                             "Cannot open file \"" + missing + "\". No such file or directory");
  EXPECT_THROW(TFileStream(dir.Root().string(), fmOpenRead), EFOpenError);  // a folder
}

class TShape : public TPersistent {
 public:
  const char* ClassName() const override { return "TShape"; }
};
class TSink : public TPersistent {
 public:
  const char* ClassName() const override { return "TSink"; }
  void Assign(TPersistent* source) override {
    if (dynamic_cast<TShape*>(source) == nullptr) TPersistent::Assign(source);
  }
};

TEST(Persistent, UnhandledAssignmentNamesBothClasses) {
  TShape shape;
  TSink sink;
  sink.Assign(&shape);
  ExpectMessage<EConvertError>([&] { shape.Assign(&sink); }, "Cannot assign a TSink to a TShape");
}

}  // namespace
