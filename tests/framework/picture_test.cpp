#include "framework/graphics/picture.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "framework/graphics/bitmap.h"
#include "framework/system/exceptions.h"
#include "tests/framework/bitmap_helpers.h"
#include "tests/support/expect_message.h"
#include "tests/support/temp_dir.h"

namespace {

// A graphic kind of the test's own, stored as the text "W,H".
class TBoxGraphic : public TGraphic {
 public:
  const char* ClassName() const override { return "TBoxGraphic"; }
  static const TGraphicClass& Class() {
    static const TGraphicClass boxClass{"TBoxGraphic", []() -> std::unique_ptr<TGraphic> {
                                          return std::make_unique<TBoxGraphic>();
                                        }};
    return boxClass;
  }
  void Assign(TPersistent* source) override {
    auto* box = dynamic_cast<TBoxGraphic*>(source);
    if (box == nullptr) return TGraphic::Assign(source);
    width = box->width;
    height = box->height;
  }
  int width = 0;
  int height = 0;

 protected:
  void RenderStretched(TCanvas&, const TRect&) override {}
  bool IsEmpty() override { return width == 0; }
  int QueryHeight() override { return height; }
  int QueryWidth() override { return width; }
  void ChangeHeight(int value) override { height = value; }
  void ChangeWidth(int value) override { width = value; }
  void ReadFromStream(TStream& stream) override {
    std::string text(static_cast<std::size_t>(stream.GetSize() - stream.GetPosition()), '\0');
    stream.ReadBuffer(text.data(), static_cast<std::int64_t>(text.size()));
    if (std::sscanf(text.c_str(), "%d,%d", &width, &height) != 2) throw EInvalidGraphic("bad box");
  }
  void WriteToStream(TStream& stream) override {
    const std::string text = std::to_string(width) + "," + std::to_string(height);
    stream.WriteBuffer(text.data(), static_cast<std::int64_t>(text.size()));
  }
  void ImportClipboardData(std::uint16_t, THandle, HPALETTE) override {}
  void ExportClipboardData(std::uint16_t&, THandle&, HPALETTE&) override {}
};

class PictureTest : public ::testing::Test {
 protected:
  void SetUp() override { TPicture::RegisterFileFormat("BoX", "Boxes", TBoxGraphic::Class()); }
  void TearDown() override { TPicture::UnregisterGraphicClass(TBoxGraphic::Class()); }
  std::string WriteFile(const std::string& name, const std::string& bytes) {
    TMemoryStream data;
    data.WriteBuffer(bytes.data(), static_cast<std::int64_t>(bytes.size()));
    data.SaveToFile(dir.Path(name).string());
    return dir.Path(name).string();
  }
  TempDir dir;
};

TEST_F(PictureTest, RegistryFindsClassesByExtensionAndName) {
  EXPECT_EQ(TPicture::FindClassByExtension("BMP"), &TBitmap::Class());
  EXPECT_EQ(TPicture::FindClassByExtension("box"), &TBoxGraphic::Class());
  EXPECT_EQ(TPicture::FindClassByName("TBoxGraphic"), &TBoxGraphic::Class());
  TPicture::UnregisterGraphicClass(TBoxGraphic::Class());
  EXPECT_EQ(TPicture::FindClassByExtension("box"), nullptr);
  EXPECT_EQ(TPicture::FindClassByName("TBoxGraphic"), nullptr);

  TPicture::RegisterFileFormat("bmp", "Boxes too", TBoxGraphic::Class());  // the later one wins
  EXPECT_EQ(TPicture::FindClassByExtension("bmp"), &TBoxGraphic::Class());
  TPicture::RegisterFileFormat("bmp", "Bitmaps", TBitmap::Class());
}

TEST_F(PictureTest, LoadFromFilePicksTheClassAndKeepsTheOldGraphicOnFailure) {
  TPicture picture;
  int changes = 0;
  picture.OnChange = [&](TObject*) { ++changes; };
  picture.LoadFromFile(WriteFile("a.BOX", "7,3"));
  ASSERT_NE(dynamic_cast<TBoxGraphic*>(picture.Graphic()), nullptr);
  EXPECT_EQ(picture.Width(), 7);
  EXPECT_EQ(changes, 1);

  TGraphic* held = picture.Graphic();
  EXPECT_THROW(picture.LoadFromFile(WriteFile("bad.box", "nonsense")), EInvalidGraphic);
  EXPECT_THROW(picture.LoadFromFile(dir.Path("missing.box").string()), EFOpenError);
  ExpectMessage<EInvalidGraphic>([&] { picture.LoadFromFile(WriteFile("a.b.xyz", "7,3")); },
                                 "Unknown picture file extension (.xyz)");
  EXPECT_EQ(picture.Graphic(), held);
  EXPECT_EQ(changes, 1);
  held->Changed(held);  // the held graphic's changes reach the picture's handler
  EXPECT_EQ(changes, 2);
}

TEST_F(PictureTest, DataPropertyRoundTripsAndRefusesUnknownClasses) {
  TPicture boxPicture;
  TBoxGraphic box;
  box.width = 12;
  box.height = 34;
  boxPicture.Assign(&box);
  EXPECT_NE(boxPicture.Graphic(), &box);  // a copy
  TMemoryStream data;
  boxPicture.WriteData(data);
  const std::string expected = std::string("\x0BTBoxGraphic\x05\0\0\0", 16) + "12,34";
  ASSERT_EQ(data.GetSize(), static_cast<std::int64_t>(expected.size()));
  EXPECT_EQ(std::memcmp(data.Memory(), expected.data(), expected.size()), 0);
  data.SetPosition(0);
  TPicture copy;
  copy.ReadData(data);
  EXPECT_EQ(copy.Height(), 34);

  TBitmap bitmap;
  bitmap.SetPixelFormat(pf8bit);
  bitmap.SetPalette(GrayPalette(3));
  bitmap.SetSize(3, 2);
  bitmap.ScanLine(1)[2] = 2;
  TPicture bitmapPicture;
  bitmapPicture.Assign(&bitmap);
  TPicture viaPicture;
  viaPicture.Assign(&bitmapPicture);
  TMemoryStream bitmapData;
  viaPicture.WriteData(bitmapData);
  bitmapData.SetPosition(0);
  copy.ReadData(bitmapData);
  ASSERT_NE(copy.Graphic(), nullptr);
  EXPECT_TRUE(copy.Graphic()->IsEqual(&bitmap));

  TPicture empty;
  TMemoryStream emptyData;
  empty.WriteData(emptyData);
  EXPECT_EQ(emptyData.GetSize(), 1);
  emptyData.SetPosition(0);
  copy.ReadData(emptyData);
  EXPECT_EQ(copy.Graphic(), nullptr);

  TMemoryStream unknown;
  unknown.WriteBuffer("\x05TNope\0\0\0\0", 10);
  unknown.SetPosition(0);
  EXPECT_THROW(copy.ReadData(unknown), EInvalidGraphic);
}

}  // namespace
