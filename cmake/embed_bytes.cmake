# Compiles a file's bytes into a target, reachable through a function
#   std::span<const std::uint8_t> FUNCTION();
# that HEADER declares. Included from a CMakeLists.txt, this file defines
#   talvesk_embed_bytes(target FILE path FUNCTION name HEADER header)
# Run as a script (cmake -DINPUT= -DOUTPUT= -DFUNCTION= -DHEADER= -P embed_bytes.cmake) it writes
# the C++ file; the build does that whenever the embedded file changes.

if(CMAKE_SCRIPT_MODE_FILE)
  foreach(var INPUT OUTPUT FUNCTION HEADER)
    if(NOT DEFINED ${var})
      message(FATAL_ERROR "embed_bytes.cmake: ${var} is not set")
    endif()
  endforeach()
  # Byte values, 32 a line, so no character needs escaping and a diff stays readable.
  file(READ "${INPUT}" hex HEX)
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," hex "${hex}")
  string(REPEAT "0x..," 32 line_pattern)  # CMake's regular expressions have no {n}
  string(REGEX REPLACE "(${line_pattern})" "\\1\n    " hex "${hex}")
  get_filename_component(name "${INPUT}" NAME)
  file(WRITE "${OUTPUT}.new"
"// Generated from ${name} by cmake/embed_bytes.cmake. Do not edit.
#include \"${HEADER}\"

namespace {

constexpr std::uint8_t kBytes[] = {
    ${hex}
};

}  // namespace

std::span<const std::uint8_t> ${FUNCTION}() { return kBytes; }
")
  # Only touch the file when its content changes, so an unchanged input rebuilds nothing.
  file(COPY_FILE "${OUTPUT}.new" "${OUTPUT}" ONLY_IF_DIFFERENT)
  file(REMOVE "${OUTPUT}.new")
  return()
endif()

set(_talvesk_embed_bytes_script ${CMAKE_CURRENT_LIST_FILE})

function(talvesk_embed_bytes target)
  cmake_parse_arguments(ARG "" "FILE;FUNCTION;HEADER" "" ${ARGN})
  set(generated ${CMAKE_CURRENT_BINARY_DIR}/embedded/${ARG_FUNCTION}.cpp)
  get_filename_component(name "${ARG_FILE}" NAME)
  add_custom_command(
    OUTPUT ${generated}
    COMMAND ${CMAKE_COMMAND} -DINPUT=${ARG_FILE} -DOUTPUT=${generated}
            -DFUNCTION=${ARG_FUNCTION} -DHEADER=${ARG_HEADER} -P ${_talvesk_embed_bytes_script}
    DEPENDS ${ARG_FILE} ${_talvesk_embed_bytes_script}
    COMMENT "Embedding ${name}")
  target_sources(${target} PRIVATE ${generated})
endfunction()
