#!/usr/bin/env bash
# The kit's programs may need from the player's machine only glibc and the X11 client libraries:
# lists what ldd resolves and fails on anything else (or on anything not found), and on a glibc
# symbol version newer than OLDEST_GLIBC.
#
#   dependencies_test.sh OLDEST_GLIBC PROGRAM...
set -uo pipefail

oldest=$1
shift
# shellcheck source=allowed_libraries.sh
. "$(dirname "$0")/allowed_libraries.sh"

failures=0
for program in "$@"; do
  listing=$(ldd "$program" 2>&1) || {
    echo "FAILED: ldd $program: $listing" >&2
    failures=$((failures + 1))
    continue
  }
  while read -r name arrow path _; do
    [ -n "$name" ] || continue
    [ "$arrow" = "=>" ] || path=$name
    case $path in
    not)
      echo "FAILED: $program: $name is not found" >&2
      failures=$((failures + 1))
      continue
      ;;
    esac
    if ! [[ $(basename "$name") =~ $allowed_libraries ]]; then
      echo "FAILED: $program needs $name ($path) from the machine" >&2
      failures=$((failures + 1))
    fi
  done <<<"$listing"

  newest=$(objdump -T "$program" | grep -o 'GLIBC_[0-9.]*' | sed 's/GLIBC_//' | sort -u -V | tail -n1)
  echo "$program: newest glibc symbol version required: $newest"
  if [ "$(printf '%s\n' "$newest" "$oldest" | sort -V | tail -n1)" != "$oldest" ]; then
    echo "FAILED: $program needs glibc $newest, newer than $oldest; it references:" >&2
    objdump -T "$program" | grep -F "GLIBC_$newest" >&2
    failures=$((failures + 1))
  fi
  echo "$program: $(grep -c '=>' <<<"$listing") libraries"
done
[ "$failures" -eq 0 ] || exit 1
echo "PASSED: every library from glibc or X11"
