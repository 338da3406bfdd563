#include "framework/graphics/picture.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "framework/graphics/bitmap.h"
#include "framework/system/exceptions.h"
#include "tests/framework/bitmap_helpers.h"
#include "tests/framework/temp_dir.h"

namespace {

// A graphic kind of the test's own: its stream format is the text "W,H".
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
    if (auto* box = dynamic_cast<TBoxGraphic*>(source)) {
      width = box->width;
      height = box->height;
      return;
    }
    TGraphic::Assign(source);
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
    Changed(this);
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
  void WriteFile(const std::string& name, const std::string& bytes) {
    TFileStream file(dir.Path() + "/" + name, fmCreate);
    file.WriteBuffer(bytes.data(), static_cast<std::int64_t>(bytes.size()));
  }
  TempDir dir;
};

TEST_F(PictureTest, RegistryFindsClassesByExtensionAndName) {
  EXPECT_EQ(TPicture::FindClassByExtension("bmp"), &TBitmap::Class());
  EXPECT_EQ(TPicture::FindClassByExtension("BMP"), &TBitmap::Class());
  EXPECT_EQ(TPicture::FindClassByExtension("box"), &TBoxGraphic::Class());
  EXPECT_EQ(TPicture::FindClassByName("TBoxGraphic"), &TBoxGraphic::Class());
  EXPECT_EQ(TPicture::FindClassByExtension(".box"), nullptr);

  TPicture::UnregisterGraphicClass(TBoxGraphic::Class());
  EXPECT_EQ(TPicture::FindClassByExtension("box"), nullptr);
  EXPECT_EQ(TPicture::FindClassByName("TBoxGraphic"), nullptr);
  EXPECT_EQ(TPicture::FindClassByExtension("bmp"), &TBitmap::Class());

  // A later registration of an extension wins.
  TPicture::RegisterFileFormat("bmp", "Boxes too", TBoxGraphic::Class());
  EXPECT_EQ(TPicture::FindClassByExtension("bmp"), &TBoxGraphic::Class());
  TPicture::RegisterFileFormat("bmp", "Bitmaps", TBitmap::Class());
}

TEST_F(PictureTest, LoadFromFilePicksTheClassAndKeepsTheOldGraphicOnFailure) {
  WriteFile("a.BOX", "7,3");
  WriteFile("bad.box", "nonsense");
  WriteFile("a.xyz", "7,3");
  TPicture picture;
  int changes = 0;
  picture.OnChange = [&](TObject*) { ++changes; };
  picture.LoadFromFile(dir.Path() + "/a.BOX");
  ASSERT_NE(dynamic_cast<TBoxGraphic*>(picture.Graphic()), nullptr);
  EXPECT_EQ(picture.Width(), 7);
  EXPECT_EQ(picture.Height(), 3);
  EXPECT_EQ(changes, 1);

  TGraphic* held = picture.Graphic();
  EXPECT_THROW(picture.LoadFromFile(dir.Path() + "/bad.box"), EInvalidGraphic);
  EXPECT_THROW(picture.LoadFromFile(dir.Path() + "/missing.box"), EFOpenError);
  try {
    picture.LoadFromFile(dir.Path() + "/a.xyz");
    FAIL() << "unknown extension accepted";
  } catch (const EInvalidGraphic& error) {
    EXPECT_EQ(error.Message(), "Unknown picture file extension (.xyz)");
  }
  EXPECT_EQ(picture.Graphic(), held);
  EXPECT_EQ(changes, 1);

  // Changes of the held graphic reach the picture's handler.
  held->SetWidth(9);
  held->Changed(held);
  EXPECT_EQ(changes, 2);
}

TEST_F(PictureTest, DataPropertyRoundTripsEveryKind) {
  TPicture boxPicture;
  auto box = std::make_unique<TBoxGraphic>();
  box->width = 12;
  box->height = 34;
  boxPicture.SetGraphic(std::move(box));

  TMemoryStream data;
  boxPicture.WriteData(data);
  // n, the class name, then the default payload: a 32-bit count and the stream bytes.
  const std::string expected = std::string("\x0BTBoxGraphic\x05\0\0\0", 16) + "12,34";
  ASSERT_EQ(data.GetSize(), static_cast<std::int64_t>(expected.size()));
  EXPECT_EQ(std::memcmp(data.Memory(), expected.data(), expected.size()), 0);
  data.SetPosition(0);
  TPicture copy;
  copy.ReadData(data);
  EXPECT_EQ(copy.Width(), 12);
  EXPECT_EQ(copy.Height(), 34);

  TPicture bitmapPicture;
  auto bitmap = std::make_unique<TBitmap>();
  bitmap->SetPixelFormat(pf8bit);
  bitmap->SetPalette(GrayPalette(3));
  bitmap->SetSize(3, 2);
  bitmap->ScanLine(1)[2] = 2;
  TBitmap original;
  original.Assign(bitmap.get());
  bitmapPicture.SetGraphic(std::move(bitmap));
  TMemoryStream bitmapData;
  bitmapPicture.WriteData(bitmapData);
  bitmapData.SetPosition(0);
  TPicture restored;
  restored.ReadData(bitmapData);
  ASSERT_NE(restored.Graphic(), nullptr);
  EXPECT_TRUE(restored.Graphic()->IsEqual(&original));
  EXPECT_EQ(bitmapData.GetPosition(), bitmapData.GetSize());

  TPicture empty;
  TMemoryStream emptyData;
  empty.WriteData(emptyData);
  EXPECT_EQ(emptyData.GetSize(), 1);
  EXPECT_EQ(emptyData.Memory()[0], 0);
  emptyData.SetPosition(0);
  restored.ReadData(emptyData);
  EXPECT_EQ(restored.Graphic(), nullptr);
}

TEST_F(PictureTest, DataWithUnknownClassOrBadCountIsRefused) {
  TMemoryStream unknown;
  unknown.WriteBuffer("\x05TNope\x00\x00\x00\x00", 10);
  unknown.SetPosition(0);
  TPicture picture;
  EXPECT_THROW(picture.ReadData(unknown), EInvalidGraphic);

  // A count beyond what the stream holds, or negative, fails before anything is allocated.
  for (const std::string& count :
       {std::string("\xFF\xFF\xFF\x7F", 4), std::string("\xFF\xFF\xFF\xFF", 4),
        std::string("\x04\x00\x00\x00", 4)}) {
    TMemoryStream data;
    const std::string bytes = "\x0BTBoxGraphic" + count + "1,2";
    data.WriteBuffer(bytes.data(), static_cast<std::int64_t>(bytes.size()));
    data.SetPosition(0);
    EXPECT_THROW(picture.ReadData(data), EReadError);
  }
  EXPECT_EQ(picture.Graphic(), nullptr);
}

TEST_F(PictureTest, AssignCopiesTheGraphic) {
  TBoxGraphic box;
  box.width = 5;
  box.height = 6;
  TPicture first;
  first.Assign(&box);
  ASSERT_NE(first.Graphic(), nullptr);
  EXPECT_NE(first.Graphic(), &box);
  EXPECT_EQ(first.Width(), 5);

  TPicture second;
  second.Assign(&first);
  EXPECT_NE(second.Graphic(), first.Graphic());
  EXPECT_EQ(second.Height(), 6);

  TBitmap bitmap;
  EXPECT_THROW(bitmap.Assign(&box), EConvertError);
}

}  // namespace
