#pragma once
// The readable text layout resource of a form: a tree of "object Name: TClass ... end" blocks
// holding "Property = value" lines. Values are integers (decimal, or $hex), 'strings' (''
// for a quote, #nnn for a character code, '+' joins pieces), identifiers (True, False, colour
// and enum names), sets [a, b] and binary data {hex digits}.
//
// The reader is safe on any input: nesting deeper than kMaxLayoutDepth and every malformed
// construct raise ELayoutError naming the line; memory stays proportional to the input.
#include <cstdint>
#include <string_view>
#include <vector>

#include "framework/system/exceptions.h"

class ELayoutError : public Exception {
 public:
  using Exception::Exception;
};

constexpr int kMaxLayoutDepth = 32;

struct TLayoutValue {
  enum class Kind { Integer, String, Identifier, Set, Binary };
  Kind kind = Kind::Integer;
  std::int64_t integer = 0;
  AnsiString text;                // String: the decoded bytes; Identifier: the name;
                                  // Binary: the decoded bytes
  std::vector<AnsiString> items;  // Set: the member names
};

struct TLayoutProperty {
  AnsiString name;  // may be dotted: "Font.Height", "Picture.Data"
  TLayoutValue value;
  int line = 0;
};

struct TLayoutObject {
  AnsiString name;
  AnsiString className;
  int line = 0;
  std::vector<TLayoutProperty> properties;
  std::vector<TLayoutObject> children;
};

// Parses one layout (a single top-level object). Raises ELayoutError.
TLayoutObject ParseLayout(std::string_view text);

// Registers the layout text for a form class; a later registration replaces an earlier one.
// The text is copied.
void RegisterFormLayout(const AnsiString& className, std::string_view text);
// The registered text, or nullptr.
const AnsiString* FindFormLayout(const AnsiString& className);
