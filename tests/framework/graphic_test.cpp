#include <gtest/gtest.h>

#include <cstring>

#include "framework/graphics/bitmap.h"
#include "framework/system/exceptions.h"

namespace {

TEST(Graphic, FormPayloadIsACountedStreamAndItsCountIsChecked) {
  TBitmap bitmap;
  bitmap.SetSize(3, 1);
  TMemoryStream payload;
  bitmap.WriteData(payload);
  TMemoryStream file;
  bitmap.SaveToStream(file);
  ASSERT_EQ(file.GetSize(), 14 + 40 + 12);
  ASSERT_EQ(payload.GetSize(), 4 + 66);
  EXPECT_EQ(std::memcmp(payload.Memory(), "\x42\0\0\0", 4), 0);
  EXPECT_EQ(std::memcmp(payload.Memory() + 4, file.Memory(), 66), 0);

  // The reader takes exactly the counted bytes and leaves what follows.
  payload.SetPosition(payload.GetSize());
  payload.WriteBuffer("tail", 4);
  payload.SetPosition(0);
  TBitmap copy;
  copy.ReadData(payload);
  EXPECT_TRUE(copy.IsEqual(&bitmap));
  EXPECT_EQ(payload.GetPosition(), 70);

  // A count that is negative or beyond the stream fails before anything is allocated.
  for (const char* count : {"\xFF\xFF\xFF\x7F", "\xFF\xFF\xFF\xFF", "\x43\0\0\0"}) {
    TMemoryStream bad;
    bad.WriteBuffer(count, 4);
    bad.WriteBuffer(file.Memory(), file.GetSize());
    bad.SetPosition(0);
    EXPECT_THROW(copy.ReadData(bad), EReadError);
  }
  EXPECT_TRUE(copy.IsEqual(&bitmap));
}

}  // namespace
