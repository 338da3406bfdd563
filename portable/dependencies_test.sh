#!/usr/bin/env bash
# The portable launcher may need from the player's machine only glibc and the X11 client
# libraries: lists what ldd resolves outside the launcher's own folder and fails on anything else
# (or on anything not found). Also prints the newest glibc symbol version it requires.
#
#   dependencies_test.sh LAUNCHER
set -uo pipefail

launcher=$1
folder=$(cd "$(dirname "$launcher")" && pwd)
# shellcheck source=allowed_libraries.sh
. "$(dirname "$0")/allowed_libraries.sh"

listing=$(ldd "$launcher" 2>&1) || { echo "FAILED: ldd $launcher: $listing" >&2; exit 1; }
failures=0
while read -r name arrow path _; do
  [ -n "$name" ] || continue
  [ "$arrow" = "=>" ] || path=$name
  case $path in
  "$folder"/*) continue ;;  # carried beside the launcher
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

glibc=$(objdump -T "$launcher" | grep -o 'GLIBC_[0-9.]*' | sort -u -V | tail -n1)
echo "newest glibc symbol version required: $glibc"
[ "$failures" -eq 0 ] || exit 1
echo "PASSED: $(grep -c '=>' <<<"$listing") libraries, all from glibc or X11"
