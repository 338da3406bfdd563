// Components, labels and text, outside any layout.
#include <gtest/gtest.h>

#include <algorithm>

#include "framework/forms/form.h"
#include "framework/forms/label.h"
#include "framework/graphics/text_backend.h"
#include "framework/system/utf8.h"
#include "framework/window/text_renderer.h"

namespace {

class TRecordingComponent : public TComponent {
 public:
  TRecordingComponent(TComponent* owner, std::vector<int>& log, int id)
      : TComponent(owner), log_(log), id_(id) {}
  ~TRecordingComponent() override { log_.push_back(id_); }

 private:
  std::vector<int>& log_;
  int id_;
};

}  // namespace

TEST(Components, OwnerDestroysItsComponentsNewestFirstAndForgetsEarlierDeaths) {
  std::vector<int> log;
  auto owner = std::make_unique<TComponent>(nullptr);
  new TRecordingComponent(owner.get(), log, 1);
  auto* second = new TRecordingComponent(owner.get(), log, 2);
  new TRecordingComponent(owner.get(), log, 3);
  second->Name = "Second";
  EXPECT_EQ(owner->FindComponent("second"), second);

  delete second;
  EXPECT_EQ(owner->ComponentCount(), 2);
  owner.reset();
  EXPECT_EQ(log, (std::vector<int>{2, 3, 1}));
}

TEST(Labels, AutoSizeFollowsTheTextAndAlignmentPlacesItInAFixedWidth) {
  SetTextBackend(&TTextRenderer::Instance());
  TCustomForm form(nullptr);
  auto* label = new TLabel(&form);
  label->SetParent(&form);
  label->ParentFont = false;
  label->SetBounds(30, 5, 32, 13);
  label->SetText("Label1");
  const int shortWidth = label->Width;
  EXPECT_GT(shortWidth, 0);
  label->SetText("A considerably longer caption");
  EXPECT_EQ(label->Left, 30);
  EXPECT_EQ(label->Top, 5);
  EXPECT_GT(label->Width, 2 * shortWidth);
  const int lineHeight = label->Height;
  label->SetText("");
  EXPECT_EQ(label->Width, 0);
  EXPECT_EQ(label->Height, lineHeight);

  // A bigger font makes a bigger label; the parent form's font is used when asked for.
  label->SetText("Label1");
  form.Font.Height = -22;
  label->ParentFont = true;
  label->AdjustBounds();
  EXPECT_GT(label->Width, shortWidth * 3 / 2);

  // Without AutoSize the box stays and the alignment places the text in it.
  form.Color = clBlack;  // the label's background
  label->AutoSize = false;
  label->ParentFont = false;
  label->Font.Color = clWhite;
  label->SetBounds(0, 0, 120, 20);
  label->SetText("Mid");
  TCanvas measure{TSurface{}};
  measure.Font = label->Font;
  const int textWidth = measure.TextWidth("Mid");

  for (const TAlignment alignment : {taLeftJustify, taCenter, taRightJustify}) {
    label->Alignment = alignment;
    std::vector<std::uint32_t> pixels(120 * 20, 0);
    TCanvas canvas(TSurface{pixels.data(), 120, 20, 120});
    label->Paint(canvas);
    int first = 120, last = -1;  // the columns with ink
    for (std::size_t i = 0; i < pixels.size(); ++i) {
      if (pixels[i] == 0) continue;
      first = std::min(first, static_cast<int>(i % 120));
      last = std::max(last, static_cast<int>(i % 120));
    }
    const int expectedLeft = alignment == taLeftJustify ? 0
                             : alignment == taCenter    ? (120 - textWidth) / 2
                                                        : 120 - textWidth;
    // Glyphs stand a pixel or two inside their advance box.
    EXPECT_NEAR(first, expectedLeft, 3) << alignment;
    EXPECT_NEAR(last, expectedLeft + textWidth - 1, 3) << alignment;
  }
}

TEST(Text, InvalidUtf8IsReplacedAndStillDrawn) {
  SetTextBackend(&TTextRenderer::Instance());
  const std::pair<std::string, std::string> cases[] = {
      {"Ok\xC5\x82", "Ok\xC5\x82"},
      {"a\xFF", "a\xEF\xBF\xBD"},
      {"\xC0\xAF", "\xEF\xBF\xBD\xEF\xBF\xBD"},                  // overlong '/'
      {"\xED\xA0\x80", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},  // surrogate
      {"x\xE2\x82", "x\xEF\xBF\xBD\xEF\xBF\xBD"},                // cut short
      {std::string("a\0", 2), "a\xEF\xBF\xBD"}};
  for (const auto& [text, sanitized] : cases) {
    EXPECT_EQ(SanitizeUtf8(text), sanitized);
    EXPECT_EQ(SanitizeUtf8(text + "b"), sanitized + "b");  // what follows is kept
  }

  // A file name in an 8-bit code page (not UTF-8) still shows as a caption, from the font built
  // into the program at the layout's 8 points (a 13-pixel line).
  std::vector<std::uint32_t> pixels(100 * 20, 0);
  TCanvas canvas(TSurface{pixels.data(), 100, 20, 100});
  canvas.Font.Color = clWhite;
  const AnsiString latin2 = "Wied\xBCmin \xA3";
  EXPECT_GT(canvas.TextWidth(latin2), canvas.TextWidth("Wiedmin "));
  canvas.TextOut(0, 0, latin2);
  EXPECT_GT(std::count_if(pixels.begin(), pixels.end(), [](auto p) { return p != 0; }), 20);
  EXPECT_EQ(canvas.TextHeight(latin2), 13);
}
