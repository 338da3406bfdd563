#!/usr/bin/env bash
# The disc kit's licence file must let whoever passes the disc on comply with nothing else at hand:
# every library built into the launcher named with the version it was built from (read here from
# the libraries' own headers and pkg-config files), Talvesk's own MIT licence, the credit lines the
# FreeType and IJG licences ask for, the full text of every GNU licence it names, and no pointer to
# files of a Debian machine nor Debian's packaging notes.
#
#   licences_test.sh LICENCES_FILE SOURCE_DIR C++_COMPILER
set -uo pipefail

licences=$1
source_dir=$2
compiler=$3
text=$(cat "$licences") || exit 1

failures=0
fail() {
  echo "FAILED: $*" >&2
  failures=$((failures + 1))
}

freetype_h=$(pkg-config --variable=includedir freetype2)/freetype2/freetype/freetype.h
freetype=$(awk '/#define FREETYPE_(MAJOR|MINOR|PATCH)/ {v = v (v == "" ? "" : ".") $3} END {print v}' \
  "$freetype_h")
# FreeType's licence asks for the year of the release carried: its header's last copyright year.
freetype_year=$(grep -m1 -oE "Copyright \(C\) [0-9]{4}-[0-9]{4}" "$freetype_h" | grep -oE "[0-9]{4}$")
carried=(
  "SDL $(pkg-config --modversion sdl2)"
  "FreeType $freetype"
  "libpng $(pkg-config --modversion libpng)"
  "zlib $(pkg-config --modversion zlib)"
  "Brotli $(pkg-config --modversion libbrotlidec)"
  "libjpeg-turbo $(pkg-config --modversion libjpeg)"
  "The GCC runtime $("$compiler" -dumpfullversion)"
  "DejaVu Sans"
  "libcdio $(pkg-config --modversion libiso9660)"
  "libfuse $(pkg-config --modversion fuse3)"
)
for name in "${carried[@]}"; do
  grep -qE "^  $name( |,|$)" <<<"$text" || fail "\"$name\" is not in the list of what the kit carries"
done

grep -q "^MIT License" "$source_dir/LICENSE" && grep -q "The Talvesk developers" "$source_dir/LICENSE" ||
  fail "LICENSE is not the MIT licence of the Talvesk developers"
[[ $text == *"$(cat "$source_dir/LICENSE")"* ]] || fail "Talvesk's own licence is missing"

for credit in \
  "Portions of this software are copyright © $freetype_year The FreeType Project (www.freetype.org). All rights reserved." \
  "This software is based in part on the work of the Independent JPEG Group."; do
  grep -qF -- "$credit" <<<"$text" || fail "the credit line \"$credit\" is missing"
done

while read -r name; do
  case $name in
  "GNU General Public License, version "*) full=/usr/share/common-licenses/GPL-${name##* } ;;
  "GNU Lesser General Public License, version "*) full=/usr/share/common-licenses/LGPL-${name##* } ;;
  esac
  [[ $text == *"$(cat "$full")"* ]] || fail "the file names the $name without its full text"
done < <(grep -oE "GNU (Lesser )?General Public License, version [0-9.]+" <<<"$text" | sort -u)

for packaging in "/usr/share/common-licenses" "Files: debian/" "Format: https://www.debian.org"; do
  grep -qF "$packaging" <<<"$text" && fail "the file still holds Debian's \"$packaging\""
done

[ "$failures" -eq 0 ] || exit 1
echo "PASSED: ${#carried[@]} libraries named with their versions"
