#include "framework/classes/stream.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <fstream>
#include <limits>
#include <string>
#include <vector>

#include "framework/classes/persistent.h"
#include "framework/system/exceptions.h"
#include "tests/framework/temp_dir.h"

namespace {

// Hands out at most `chunk` bytes per call, as pipes and sockets do.
class TricklingStream : public TMemoryStream {
 public:
  explicit TricklingStream(std::int64_t chunk) : chunk_(chunk) {}
  std::int64_t Read(void* buffer, std::int64_t count) override {
    return TMemoryStream::Read(buffer, std::min(count, chunk_));
  }

 private:
  std::int64_t chunk_;
};

TEST(MemoryStream, ReadsAndWritesAtThePositionAndGrowsPastTheEnd) {
  TMemoryStream stream;
  stream.WriteBuffer("abcdef", 6);
  EXPECT_EQ(stream.GetSize(), 6);
  stream.SetPosition(2);
  stream.WriteBuffer("XY", 2);
  stream.SetPosition(10);  // beyond the end: the gap reads as zeros
  stream.WriteBuffer("Z", 1);
  ASSERT_EQ(stream.GetSize(), 11);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(stream.Memory()), 6), "abXYef");
  EXPECT_EQ(std::vector<std::uint8_t>(stream.Memory() + 6, stream.Memory() + 10),
            std::vector<std::uint8_t>(4, 0));
  EXPECT_EQ(stream.Memory()[10], 'Z');

  stream.SetPosition(9);
  char tail[8] = {};
  EXPECT_EQ(stream.Read(tail, 8), 2);
  EXPECT_EQ(stream.Read(tail, 8), 0);
  EXPECT_EQ(stream.Seek(-3, TSeekOrigin::soEnd), 8);
  EXPECT_THROW(stream.Seek(-1, TSeekOrigin::soBeginning), EStreamError);
}

TEST(MemoryStream, ManySmallWritesKeepEveryByte) {
  TMemoryStream stream;
  for (int i = 0; i < 100000; ++i) {
    const auto byte = static_cast<std::uint8_t>(i * 7);
    stream.WriteBuffer(&byte, 1);
  }
  ASSERT_EQ(stream.GetSize(), 100000);
  for (int i = 0; i < 100000; i += 997)
    EXPECT_EQ(stream.Memory()[i], static_cast<std::uint8_t>(i * 7));
}

TEST(MemoryStream, SetSizeBoundsAreReportedNotFatal) {
  TMemoryStream stream;
  stream.WriteBuffer("keep", 4);
  EXPECT_THROW(stream.SetSize64(-1), EOutOfResources);
  EXPECT_THROW(stream.SetSize64(std::numeric_limits<std::int64_t>::max()), EOutOfResources);
  EXPECT_THROW(stream.SetSize64(std::int64_t{1} << 50), EOutOfResources);
  // A refused size leaves the stream as it was.
  ASSERT_EQ(stream.GetSize(), 4);
  EXPECT_EQ(std::memcmp(stream.Memory(), "keep", 4), 0);

  stream.SetPosition(4);
  stream.SetSize64(2);  // shrinking pulls the position back
  EXPECT_EQ(stream.GetPosition(), 2);
  stream.SetSize64(6);  // growing again shows zeros, not the old bytes
  EXPECT_EQ(std::vector<std::uint8_t>(stream.Memory(), stream.Memory() + 6),
            (std::vector<std::uint8_t>{'k', 'e', 0, 0, 0, 0}));
  stream.SetSize64(1);
  stream.SetPosition(4);  // so does a write beyond the end
  stream.WriteBuffer("!", 1);
  EXPECT_EQ(std::vector<std::uint8_t>(stream.Memory(), stream.Memory() + 5),
            (std::vector<std::uint8_t>{'k', 0, 0, 0, '!'}));
}

TEST(Stream, ExactReadAndWriteFailUnlessEveryByteMoves) {
  TMemoryStream stream;
  stream.WriteBuffer("12345", 5);
  stream.SetPosition(0);
  char buffer[8] = {};
  EXPECT_THROW(stream.ReadBuffer(buffer, 6), EReadError);
  stream.SetPosition(0);
  EXPECT_NO_THROW(stream.ReadBuffer(buffer, 5));
  EXPECT_THROW(stream.ReadBuffer(buffer, -1), EReadError);
  try {
    stream.ReadBuffer(buffer, 1);
    FAIL() << "read past the end";
  } catch (const EReadError& error) {
    EXPECT_EQ(error.Message(), "Stream read error");
  }

  // A stream that trickles still satisfies an exact read.
  TricklingStream trickle(3);
  trickle.WriteBuffer("0123456789", 10);
  trickle.SetPosition(0);
  EXPECT_NO_THROW(trickle.ReadBuffer(buffer, 8));
  EXPECT_EQ(std::string(buffer, 8), "01234567");
}

TEST(Stream, CopyFromTakesCountBytesOrTheWholeSource) {
  TMemoryStream source;
  std::vector<std::uint8_t> bytes(200000);
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(i % 251);
  source.WriteBuffer(bytes.data(), static_cast<std::int64_t>(bytes.size()));

  TMemoryStream all;
  EXPECT_EQ(all.CopyFrom(source, 0), 200000);
  EXPECT_EQ(std::memcmp(all.Memory(), bytes.data(), bytes.size()), 0);

  TMemoryStream part;
  source.SetPosition(100);
  EXPECT_EQ(part.CopyFrom(source, 10), 10);
  EXPECT_EQ(std::memcmp(part.Memory(), bytes.data() + 100, 10), 0);
  source.SetPosition(source.GetSize() - 5);
  EXPECT_THROW(part.CopyFrom(source, 6), EReadError);
}

TEST(FileStream, RoundTripsAndReportsOpenFailuresByName) {
  TempDir dir;
  const std::string path = dir.Path() + "/data.bin";
  {
    TFileStream file(path, fmCreate);
    file.WriteBuffer("hello, file", 11);
  }
  TMemoryStream loaded;
  loaded.LoadFromFile(path);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(loaded.Memory()), 11), "hello, file");

  TFileStream file(path, fmOpenRead);
  EXPECT_EQ(file.GetSize(), 11);
  file.SetPosition(7);
  char rest[4];
  file.ReadBuffer(rest, 4);
  EXPECT_EQ(std::string(rest, 4), "file");
  EXPECT_THROW(file.ReadBuffer(rest, 1), EReadError);
  EXPECT_THROW(file.WriteBuffer("x", 1), EWriteError);  // opened for reading only

  const std::string missing = dir.Path() + "/missing.bin";
  try {
    TFileStream absent(missing, fmOpenRead);
    FAIL() << "opened a missing file";
  } catch (const EFOpenError& error) {
    EXPECT_EQ(error.Message(), "Cannot open file \"" + missing + "\". No such file or directory");
  }
  EXPECT_THROW(TFileStream(dir.Path(), fmOpenRead), EFOpenError);
}

class Shape : public TPersistent {
 public:
  const char* ClassName() const override { return "TShape"; }
};
class Sink : public TPersistent {
 public:
  const char* ClassName() const override { return "TSink"; }
  void Assign(TPersistent* source) override {
    if (dynamic_cast<Shape*>(source) != nullptr) {
      ++shapesTaken;
      return;
    }
    TPersistent::Assign(source);
  }
  int shapesTaken = 0;
};

TEST(Persistent, UnhandledAssignmentNamesBothClasses) {
  Shape shape;
  Sink sink;
  sink.Assign(&shape);
  EXPECT_EQ(sink.shapesTaken, 1);
  try {
    shape.Assign(&sink);
    FAIL() << "assignment nobody handles";
  } catch (const EConvertError& error) {
    EXPECT_EQ(error.Message(), "Cannot assign a TSink to a TShape");
  }
}

}  // namespace
