// The layout reader: structure and values of good layouts, and a clear ELayoutError (never a
// crash) for anything malformed; the layout fuzz target tries corrupted layouts.
#include <gtest/gtest.h>

#include "framework/forms/layout.h"

namespace {

constexpr std::string_view kLayout = R"(object Form1: TForm1
  Left = -257
  Tag = $7F
  Caption = 'Talvesk'
  Color = clBlack
  Font.Style = []
  Anchors = [akLeft, akTop]
  object Image1: TImage
    Picture.Data = {
      0754 426974
      6D6170}
  end
  object Label1: TLabel
    Caption = 'It''s'#13#10'two' +
      ' lines'#322
  end
end
)";

std::string ErrorOf(std::string_view text) {
  try {
    ParseLayout(text);
  } catch (const ELayoutError& error) {
    return error.Message();
  }
  return "no error";
}

std::string Nested(int depth) {
  std::string text;
  for (int i = 0; i < depth; ++i) text += "object A: T\n";
  for (int i = 0; i < depth; ++i) text += "end\n";
  return text;
}

}  // namespace

TEST(LayoutParser, ReadsTheObjectTreeAndEveryKindOfValue) {
  const TLayoutObject form = ParseLayout(kLayout);
  EXPECT_EQ(form.name, "Form1");
  EXPECT_EQ(form.className, "TForm1");
  ASSERT_EQ(form.properties.size(), 6u);
  EXPECT_EQ(form.properties[0].name, "Left");
  EXPECT_EQ(form.properties[0].value.integer, -257);
  EXPECT_EQ(form.properties[0].line, 2);
  EXPECT_EQ(form.properties[1].value.integer, 0x7F);
  EXPECT_EQ(form.properties[2].value.kind, TLayoutValue::Kind::String);
  EXPECT_EQ(form.properties[2].value.text, "Talvesk");
  EXPECT_EQ(form.properties[3].value.kind, TLayoutValue::Kind::Identifier);
  EXPECT_EQ(form.properties[3].value.text, "clBlack");
  EXPECT_EQ(form.properties[4].value.kind, TLayoutValue::Kind::Set);
  EXPECT_TRUE(form.properties[4].value.items.empty());
  EXPECT_EQ(form.properties[5].value.items, (std::vector<AnsiString>{"akLeft", "akTop"}));

  ASSERT_EQ(form.children.size(), 2u);
  const TLayoutObject& image = form.children[0];
  EXPECT_EQ(image.name, "Image1");
  EXPECT_EQ(image.line, 8);
  EXPECT_EQ(image.properties[0].value.kind, TLayoutValue::Kind::Binary);
  EXPECT_EQ(image.properties[0].value.text, "\x07TBitmap");
  // '' is a quote, #nnn a byte, codes above 255 become UTF-8, '+' joins across lines.
  EXPECT_EQ(form.children[1].properties[0].value.text, "It's\r\ntwo lines\xC5\x82");
}

TEST(LayoutParser, RejectsMalformedOrTooDeeplyNestedInputNamingTheLine) {
  const std::string tooDeep =
      "Layout line " + std::to_string(kMaxLayoutDepth + 1) + ": objects nested too deeply";
  const std::pair<std::string, std::string> cases[] = {
      {"", "Layout line 1: a name was expected"},
      {"object Form1 TForm1\nend", "Layout line 1: ':' expected"},
      {"object F: T\n  Left = 1", "Layout line 2: 'end' missing"},
      {"object F: T\n  Left 1\nend", "Layout line 2: '=' expected after property Left"},
      {"object F: T\n  Left =\nend", "Layout line 2: value of Left missing"},
      {"object F: T\n  Left = !\nend", "Layout line 2: unsupported value for Left"},
      {"object F: T\n  Left = 99999999999999999999\nend", "Layout line 2: number out of range"},
      {"object F: T\n  Left = 1.5\nend", "Layout line 2: malformed number"},
      {"object F: T\n  Caption = 'open\nend", "Layout line 2: unterminated string"},
      {"object F: T\n  Caption = 'a' +\nend", "Layout line 3: string expected after '+'"},
      {"object F: T\n  Caption = #1114112\nend", "Layout line 2: character code out of range"},
      {"object F: T\n  S = [a b]\nend", "Layout line 2: ',' or ']' expected"},
      {"object F: T\n  D = {0g}\nend", "Layout line 2: hex digit expected"},
      {"object F: T\n  D = {012}\nend", "Layout line 2: odd number of hex digits"},
      {"object F: T\n  D = {01\n", "Layout line 3: '}' missing"},
      {"object F: T\nend\nend", "Layout line 3: unexpected text after the final 'end'"},
      {"object F: T\n  = 1\nend", "Layout line 2: a property, 'object' or 'end' was expected"},
      {Nested(kMaxLayoutDepth), "no error"},
      {Nested(kMaxLayoutDepth + 1), tooDeep},
      // Far deeper input fails the same way instead of exhausting the stack.
      {Nested(100000), tooDeep},
  };
  for (const auto& [text, expected] : cases) {
    const std::string error = ErrorOf(text);
    EXPECT_EQ(error.rfind(expected, 0), 0u)
        << "input: " << text.substr(0, 40) << "\nerror: " << error;
  }
  // Every cut short layout is refused, not taken for a smaller one.
  const std::string good(kLayout);
  for (std::size_t length = 0; length + 1 < good.size(); ++length) {
    EXPECT_NE(ErrorOf(good.substr(0, length)), "no error") << good.substr(0, length);
  }
}
