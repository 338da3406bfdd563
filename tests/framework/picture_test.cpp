#include "framework/graphics/picture.h"

#include <gtest/gtest.h>

#include <string>

#include "framework/graphics/bitmap.h"
#include "framework/system/exceptions.h"
#include "tests/support/expect_message.h"
#include "tests/support/gray_palette.h"
#include "tests/support/temp_dir.h"

namespace {

TEST(Picture, LoadFromFilePicksTheClassAndKeepsTheOldGraphicOnFailure) {
  TempDir dir;
  const auto path = [&](const char* name) { return dir.Path(name).string(); };
  TBitmap bitmap;
  bitmap.SetSize(7, 3);
  bitmap.SaveToFile(path("a.BMP"));
  TMemoryStream nonsense;
  nonsense.WriteBuffer("nonsense", 8);
  nonsense.SaveToFile(path("bad.bmp"));
  nonsense.SaveToFile(path("a.b.xyz"));

  TPicture picture;
  int changes = 0;
  picture.OnChange = [&](TObject*) { ++changes; };
  picture.LoadFromFile(path("a.BMP"));
  ASSERT_NE(dynamic_cast<TBitmap*>(picture.Graphic()), nullptr);
  EXPECT_EQ(picture.Width(), 7);
  EXPECT_EQ(changes, 1);

  TGraphic* held = picture.Graphic();
  EXPECT_THROW(picture.LoadFromFile(path("bad.bmp")), EInvalidGraphic);
  EXPECT_THROW(picture.LoadFromFile(path("missing.bmp")), EFOpenError);
  ExpectMessage<EInvalidGraphic>([&] { picture.LoadFromFile(path("a.b.xyz")); },
                                 "Unknown picture file extension (.xyz)");
  EXPECT_EQ(picture.Graphic(), held);
  EXPECT_EQ(changes, 1);
  held->Changed(held);  // the held graphic's changes reach the picture's handler
  EXPECT_EQ(changes, 2);
  ExpectMessage<EConvertError>([&] { bitmap.Assign(&picture); },
                               "Cannot assign a TPicture to a TBitmap");
}

// The form-data property: class-name length and name, then the graphic's byte count and bytes.
TEST(Picture, DataRoundTripsAndRefusesUnknownClassesAndBadCounts) {
  TBitmap bitmap;
  bitmap.SetPixelFormat(pf8bit);
  bitmap.SetPalette(GrayPalette(3));
  bitmap.SetSize(3, 2);
  bitmap.ScanLine(1)[2] = 2;
  TPicture picture, copy;
  picture.Assign(&bitmap);
  TMemoryStream data;
  picture.WriteData(data);
  const std::string bmp(reinterpret_cast<const char*>(data.Memory()) + 12,
                        static_cast<std::size_t>(data.GetSize() - 12));
  data.WriteBuffer("tail", 4);
  data.SetPosition(0);
  copy.ReadData(data);
  ASSERT_NE(copy.Graphic(), nullptr);
  EXPECT_TRUE(copy.Graphic()->IsEqual(&bitmap));
  EXPECT_EQ(data.GetPosition(), data.GetSize() - 4) << "exactly the counted bytes are read";

  const auto read = [&](const std::string& bytes) {
    TMemoryStream stream;
    stream.WriteBuffer(bytes.data(), static_cast<std::int64_t>(bytes.size()));
    stream.SetPosition(0);
    copy.ReadData(stream);
  };
  ExpectMessage<EInvalidGraphic>([&] { read(std::string("\x05TNope\0\0\0\0", 10)); },
                                 "Unknown picture class \"TNope\"");
  // A count that is negative or beyond the stream fails before anything is allocated.
  for (const std::uint32_t count : {0x7FFFFFFFU, 0xFFFFFFFFU, std::uint32_t(bmp.size() + 1)}) {
    std::string bytes("\x07TBitmap", 8);
    for (int shift = 0; shift < 32; shift += 8) bytes += static_cast<char>(count >> shift);
    EXPECT_THROW(read(bytes + bmp), EReadError) << count;
  }
  EXPECT_TRUE(copy.Graphic()->IsEqual(&bitmap));

  TMemoryStream none;
  TPicture().WriteData(none);  // no graphic: a zero name length alone
  EXPECT_EQ(none.GetSize(), 1);
  read(std::string(1, '\0'));
  EXPECT_EQ(copy.Graphic(), nullptr);
}

}  // namespace
