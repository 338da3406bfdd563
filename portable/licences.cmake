# Writes the disc kit's licence file: everything the launcher carries, each with its version and
# licence, the credit lines those licences ask for, and the full text of every licence referred to,
# so that whoever passes the disc on needs nothing else.
#
#   cmake "-DCARRIED=NAME VERSION|LICENCE FILE;..." "-DFULL_TEXTS=TITLE|FILE;..."
#         "-DCREDITS=LINE;..." -DOUTPUT=talvesk-licences.txt -P licences.cmake
# read_entry("TITLE|FILE" title text): the title and the file's text.
function(read_entry entry title_out text_out)
  string(REPLACE "|" ";" parts "${entry}")
  list(GET parts 0 title)
  list(GET parts 1 file)
  if(NOT EXISTS "${file}")
    message(FATAL_ERROR "licences.cmake: ${file} is missing (scripts/install-deps installs it)")
  endif()
  file(READ "${file}" text)
  set(${title_out} "${title}" PARENT_SCOPE)
  set(${text_out} "${text}" PARENT_SCOPE)
endfunction()

set(list "")
set(sections "")
foreach(entry ${CARRIED})
  read_entry("${entry}" name licence)
  string(APPEND list "  ${name}\n")
  string(APPEND sections "\n==== ${name} ====\n\n${licence}")
endforeach()
foreach(entry ${FULL_TEXTS})
  read_entry("${entry}" title licence)
  string(APPEND sections "\n==== ${title} ====\n\n${licence}")
endforeach()
set(credits "")
foreach(line ${CREDITS})
  string(APPEND credits "  ${line}\n")
endforeach()

file(WRITE "${OUTPUT}" "\
Talvesk disc kit: licences

The programs on this disc, talvesk (the launcher) and talvesk-drive (its virtual CD drive for
Wine), are Talvesk, under the MIT licence. Built into them is the following software, each under
the licence in its section below; the full texts of the licences those sections refer to follow
at the end.

${list}
talvesk-drive carries libcdio's ISO 9660 library, which is under the GNU General Public License,
version 3 or later; talvesk-drive as a whole is therefore passed on under that licence (its own
code stays under the MIT licence too). Whoever passes this disc on must also give its receivers
the complete corresponding source of talvesk-drive, as section 6 of that licence says (on the
disc, beside it, or by a written offer): Talvesk's source at the version named above, and the
sources of the libcdio and libfuse versions named above (Debian 12's source packages libcdio and
fuse3 of those versions, which talvesk-drive was built from).

Credits that these licences ask for:

${credits}${sections}")
