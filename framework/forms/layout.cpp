#include "framework/forms/layout.h"

#include <cctype>
#include <map>

#include "framework/system/utf8.h"

namespace {

bool IsIdentStart(char c) { return std::isalpha(static_cast<unsigned char>(c)) || c == '_'; }
bool IsIdentChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  }
  return true;
}

class Parser {
 public:
  explicit Parser(std::string_view text) : text_(text) {}

  TLayoutObject ParseDocument() {
    SkipSpace();
    TLayoutObject root = ParseObject(1);
    SkipSpace();
    if (!AtEnd()) Fail("unexpected text after the final 'end'");
    return root;
  }

 private:
  [[noreturn]] void Fail(const AnsiString& what) const {
    throw ELayoutError("Layout line " + std::to_string(line_) + ": " + what);
  }

  bool AtEnd() const { return pos_ >= text_.size(); }
  char Peek() const { return AtEnd() ? '\0' : text_[pos_]; }

  void SkipSpace() {
    while (!AtEnd()) {
      const char c = text_[pos_];
      if (c == '\n') {
        ++line_;
      } else if (c != ' ' && c != '\t' && c != '\r') {
        return;
      }
      ++pos_;
    }
  }

  // Spaces within the line only: a value starts on its property's line.
  void SkipBlanks() {
    while (Peek() == ' ' || Peek() == '\t' || Peek() == '\r') ++pos_;
  }

  // A word of letters, digits and '_'.
  std::string_view Word() {
    if (!IsIdentStart(Peek())) Fail("a name was expected");
    const std::size_t start = pos_;
    while (!AtEnd() && IsIdentChar(text_[pos_])) ++pos_;
    return text_.substr(start, pos_ - start);
  }

  // A property name: words joined by dots ("Font.Height").
  AnsiString DottedName() {
    AnsiString name(Word());
    while (Peek() == '.') {
      ++pos_;
      name += '.';
      name += Word();
    }
    return name;
  }

  void Expect(char c, const AnsiString& what) {
    SkipSpace();
    if (Peek() != c) Fail(AnsiString("'") + c + "' expected " + what);
    ++pos_;
  }

  TLayoutObject ParseObject(int depth) {
    if (depth > kMaxLayoutDepth) Fail("objects nested too deeply");
    TLayoutObject object;
    object.line = line_;
    if (!EqualsNoCase(Word(), "object")) Fail("'object' expected");
    SkipSpace();
    object.name = AnsiString(Word());
    Expect(':', "after the object's name");
    SkipSpace();
    object.className = AnsiString(Word());
    for (;;) {
      SkipSpace();
      if (AtEnd()) Fail("'end' missing for object " + object.name);
      const std::size_t save = pos_;
      const int saveLine = line_;
      if (!IsIdentStart(Peek())) Fail("a property, 'object' or 'end' was expected");
      const std::string_view word = Word();
      if (EqualsNoCase(word, "end")) return object;
      if (EqualsNoCase(word, "object")) {
        pos_ = save;
        line_ = saveLine;
        object.children.push_back(ParseObject(depth + 1));
        continue;
      }
      pos_ = save;
      object.properties.push_back(ParseProperty());
    }
  }

  TLayoutProperty ParseProperty() {
    TLayoutProperty property;
    property.line = line_;
    property.name = DottedName();
    Expect('=', "after property " + property.name);
    SkipBlanks();
    property.value = ParseValue(property.name);
    return property;
  }

  TLayoutValue ParseValue(const AnsiString& property) {
    TLayoutValue value;
    const char c = Peek();
    if (c == '\'' || c == '#') {
      value.kind = TLayoutValue::Kind::String;
      value.text = ParseString();
    } else if (c == '-' || c == '+' || c == '$' || IsDigit(c)) {
      value.kind = TLayoutValue::Kind::Integer;
      value.integer = ParseInteger();
    } else if (IsIdentStart(c)) {
      value.kind = TLayoutValue::Kind::Identifier;
      value.text = DottedName();
    } else if (c == '[') {
      value.kind = TLayoutValue::Kind::Set;
      value.items = ParseSet();
    } else if (c == '{') {
      value.kind = TLayoutValue::Kind::Binary;
      value.text = ParseBinary();
    } else if (AtEnd() || c == '\n') {
      Fail("value of " + property + " missing");
    } else {
      Fail("unsupported value for " + property);
    }
    return value;
  }

  std::int64_t ParseInteger() {
    bool negative = false;
    if (Peek() == '-' || Peek() == '+') {
      negative = Peek() == '-';
      ++pos_;
    }
    const int base = Peek() == '$' ? 16 : 10;
    if (base == 16) ++pos_;
    // Accumulate as a negative number so that the most negative value fits.
    constexpr std::int64_t kMin = INT64_MIN;
    std::int64_t value = 0;
    int digits = 0;
    for (;;) {
      const int digit = base == 16 ? HexDigit(Peek()) : (IsDigit(Peek()) ? Peek() - '0' : -1);
      if (digit < 0) break;
      if (value < (kMin + digit) / base) Fail("number out of range");
      value = value * base - digit;
      ++pos_;
      ++digits;
    }
    if (digits == 0) Fail("digits expected");
    if (Peek() == '.' || IsIdentChar(Peek())) Fail("malformed number");
    if (!negative) {
      if (value == kMin) Fail("number out of range");
      value = -value;
    }
    return value;
  }

  // Pieces of 'quoted text' and #nnn character codes, directly adjacent or joined by '+'.
  AnsiString ParseString() {
    AnsiString text;
    for (;;) {
      if (Peek() == '\'') {
        ++pos_;
        for (;;) {
          if (AtEnd() || Peek() == '\n' || Peek() == '\r') Fail("unterminated string");
          const char c = text_[pos_++];
          if (c == '\'') {
            if (Peek() != '\'') break;
            ++pos_;
          }
          text += c;
        }
      } else if (Peek() == '#') {
        ++pos_;
        const std::int64_t code = ParseInteger();
        if (code < 0 || code > 0x10FFFF) Fail("character code out of range");
        // Codes up to 255 are the 8-bit text's bytes; higher ones are Unicode characters,
        // stored as UTF-8 like the rest of the display text.
        if (code <= 255) {
          text += static_cast<char>(code);
        } else {
          AppendUtf8(text, static_cast<char32_t>(code));
        }
      } else {
        Fail("string expected");
      }
      if (Peek() == '\'' || Peek() == '#') continue;
      const std::size_t save = pos_;
      const int saveLine = line_;
      SkipSpace();
      if (Peek() == '+') {
        ++pos_;
        SkipSpace();
        if (Peek() != '\'' && Peek() != '#') Fail("string expected after '+'");
        continue;
      }
      pos_ = save;
      line_ = saveLine;
      return text;
    }
  }

  std::vector<AnsiString> ParseSet() {
    std::vector<AnsiString> items;
    ++pos_;  // '['
    SkipSpace();
    if (Peek() == ']') {
      ++pos_;
      return items;
    }
    for (;;) {
      SkipSpace();
      items.emplace_back(Word());
      SkipSpace();
      if (Peek() == ']') {
        ++pos_;
        return items;
      }
      if (Peek() != ',') Fail("',' or ']' expected in a set");
      ++pos_;
    }
  }

  AnsiString ParseBinary() {
    AnsiString bytes;
    ++pos_;  // '{'
    int high = -1;
    for (;;) {
      SkipSpace();
      if (AtEnd()) Fail("'}' missing after binary data");
      const char c = text_[pos_++];
      if (c == '}') break;
      const int digit = HexDigit(c);
      if (digit < 0) Fail("hex digit expected in binary data");
      if (high < 0) {
        high = digit;
      } else {
        bytes += static_cast<char>(high * 16 + digit);
        high = -1;
      }
    }
    if (high >= 0) Fail("odd number of hex digits in binary data");
    return bytes;
  }

  std::string_view text_;
  std::size_t pos_ = 0;
  int line_ = 1;
};

std::map<AnsiString, AnsiString>& LayoutRegistry() {
  static std::map<AnsiString, AnsiString> registry;
  return registry;
}

}  // namespace

TLayoutObject ParseLayout(std::string_view text) { return Parser(text).ParseDocument(); }

void RegisterFormLayout(const AnsiString& className, std::string_view text) {
  LayoutRegistry()[className] = AnsiString(text);
}

const AnsiString* FindFormLayout(const AnsiString& className) {
  const auto& registry = LayoutRegistry();
  const auto found = registry.find(className);
  return found == registry.end() ? nullptr : &found->second;
}
