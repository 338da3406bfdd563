#!/usr/bin/env bash
# The portable launcher may need from the player's machine only glibc and the X11 client
# libraries: lists what ldd resolves and fails on anything else (or on anything not found), and
# on a glibc symbol version newer than OLDEST_GLIBC.
#
#   dependencies_test.sh LAUNCHER OLDEST_GLIBC
set -uo pipefail

launcher=$1
oldest=$2
# shellcheck source=allowed_libraries.sh
. "$(dirname "$0")/allowed_libraries.sh"

listing=$(ldd "$launcher" 2>&1) || { echo "FAILED: ldd $launcher: $listing" >&2; exit 1; }
failures=0
while read -r name arrow path _; do
  [ -n "$name" ] || continue
  [ "$arrow" = "=>" ] || path=$name
  case $path in
  not)
    echo "FAILED: $name is not found" >&2
    failures=$((failures + 1))
    continue
    ;;
  esac
  if ! [[ $(basename "$name") =~ $allowed_libraries ]]; then
    echo "FAILED: the launcher needs $name ($path) from the machine" >&2
    failures=$((failures + 1))
  fi
done <<<"$listing"

newest=$(objdump -T "$launcher" | grep -o 'GLIBC_[0-9.]*' | sed 's/GLIBC_//' | sort -u -V | tail -n1)
echo "newest glibc symbol version required: $newest"
if [ "$(printf '%s\n' "$newest" "$oldest" | sort -V | tail -n1)" != "$oldest" ]; then
  echo "FAILED: the launcher needs glibc $newest, newer than $oldest; it references:" >&2
  objdump -T "$launcher" | grep -F "GLIBC_$newest" >&2
  failures=$((failures + 1))
fi
[ "$failures" -eq 0 ] || exit 1
echo "PASSED: $(grep -c '=>' <<<"$listing") libraries, all from glibc or X11"
