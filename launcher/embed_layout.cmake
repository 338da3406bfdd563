# Turns a form's layout resource into a .cpp that registers it at start-up.
#   cmake -DINPUT=Unit1.layout -DOUTPUT=out.cpp -DFORM_CLASS=TForm1 -P embed_layout.cmake
# The text goes in as byte values, so no character of the layout needs escaping.
file(READ "${INPUT}" _hex HEX)
string(LENGTH "${_hex}" _hex_length)
math(EXPR _size "${_hex_length} / 2")
# Eight bytes a line.
set(_byte "[0-9a-f][0-9a-f]")
string(REGEX REPLACE "(${_byte}${_byte}${_byte}${_byte}${_byte}${_byte}${_byte}${_byte})"
                     "\\1\n" _lines "${_hex}")
string(REGEX REPLACE "(${_byte})" "0x\\1," _bytes "${_lines}")
file(WRITE "${OUTPUT}.tmp"
"// Generated from ${INPUT}; edit that file instead.
#include <string_view>

#include \"framework/forms/layout.h\"

namespace {

const unsigned char kLayout[${_size}] = {
${_bytes}};

const bool kRegistered = [] {
  RegisterFormLayout(\"${FORM_CLASS}\",
                     std::string_view(reinterpret_cast<const char*>(kLayout), sizeof kLayout));
  return true;
}();

}  // namespace
")
file(RENAME "${OUTPUT}.tmp" "${OUTPUT}")
