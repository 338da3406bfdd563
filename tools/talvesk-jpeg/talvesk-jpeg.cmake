# talvesk-jpeg, its manual page and their install rules; included from tools/CMakeLists.txt so
# that the program lands in build/tools/ beside the other tools.
include(GNUInstallDirs)

# The picture files the tool reads and writes besides JPEG, in a library of their own so that a
# fuzz target reads them as the tool does.
find_package(PNG REQUIRED)
set(_picture_file_sources picture_files.cpp pixel_rows.cpp png_format.cpp pnm_format.cpp)
list(TRANSFORM _picture_file_sources PREPEND ${CMAKE_CURRENT_LIST_DIR}/)
add_library(talvesk_picture_files STATIC ${_picture_file_sources})
target_link_libraries(talvesk_picture_files PUBLIC talvesk_framework PNG::PNG
                                            PRIVATE talvesk_warnings)

set(_jpeg_tool_sources command_line.cpp decode_command.cpp diagnostics.cpp encode_command.cpp
                       help.cpp info_command.cpp main.cpp operand_files.cpp progress_display.cpp)
list(TRANSFORM _jpeg_tool_sources PREPEND ${CMAKE_CURRENT_LIST_DIR}/)
add_executable(talvesk-jpeg ${_jpeg_tool_sources})
target_link_libraries(talvesk-jpeg PRIVATE talvesk_jpeg talvesk_picture_files talvesk_warnings)
target_compile_definitions(talvesk-jpeg PRIVATE TALVESK_VERSION="${PROJECT_VERSION}")
install(TARGETS talvesk-jpeg RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT talvesk-jpeg)

# The manual page is the program's own --help, laid out by help2man, so the two cannot drift
# apart. help2man makes the help's last two headings subsections; they become the page's EXIT
# STATUS and SEE ALSO sections. The version is the project's: the libjpeg in use, which --version
# names, is the machine's.
find_program(HELP2MAN help2man)
if(HELP2MAN)
  set(_jpeg_tool_manpage ${CMAKE_CURRENT_BINARY_DIR}/talvesk-jpeg.1)
  add_custom_command(
    OUTPUT ${_jpeg_tool_manpage}
    COMMAND ${HELP2MAN} --no-info --section=1 --version-string=${PROJECT_VERSION}
            "--name=try the Talvesk JPEG picture unit from the command line"
            --output=${_jpeg_tool_manpage} $<TARGET_FILE:talvesk-jpeg>
    COMMAND sed -i -e "s/^\\.SS \"Exit status:\"$/.SH \"EXIT STATUS\"/"
            -e "s/^\\.SS \"See also:\"$/.SH \"SEE ALSO\"/" ${_jpeg_tool_manpage}
    DEPENDS talvesk-jpeg
    COMMENT "Writing the manual page talvesk-jpeg.1"
    VERBATIM)
  add_custom_target(talvesk-jpeg-manpage ALL DEPENDS ${_jpeg_tool_manpage})
  install(FILES ${_jpeg_tool_manpage} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1
          COMPONENT talvesk-jpeg)
else()
  message(WARNING "help2man not found (scripts/install-deps installs it): no talvesk-jpeg.1")
endif()
