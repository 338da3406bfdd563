# Writes the licences of what the portable launcher is built from into one text file:
#   cmake "-DLICENCES=TITLE|FILE;..." -DOUTPUT=talvesk-licences.txt -P licences.cmake
set(text "The Talvesk launcher carries the following software; their licences follow.\n")
foreach(entry ${LICENCES})
  string(REPLACE "|" ";" parts "${entry}")
  list(GET parts 0 title)
  list(GET parts 1 file)
  if(NOT EXISTS "${file}")
    message(FATAL_ERROR "licences.cmake: ${file} is missing (scripts/install-deps installs it)")
  endif()
  file(READ "${file}" licence)
  string(APPEND text "\n==== ${title} ====\n\n${licence}")
endforeach()
file(WRITE "${OUTPUT}" "${text}")
