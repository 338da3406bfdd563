#!/usr/bin/env bash
# The programs carry the hardening Debian builds its packages with, as Debian's own
# hardening-check (devscripts) finds it in the binaries: PIE, stack protector, fortified libc calls,
# read-only relocations and immediate binding. Control-flow protection cannot show as the ELF
# marking hardening-check looks for, since Debian 12's C start-up files lack it (the linker marks a
# program only when every part is marked); so the compiled code is checked instead: main() must
# start with the ENDBR64 landing instruction.
#
#   hardening_test.sh [--no-fortify] PROGRAM...   (--no-fortify: a sanitizer build)
set -uo pipefail

options=(--nocfprotection)
fortify=yes
if [ "${1:-}" = --no-fortify ]; then
  options+=(--nofortify)
  fortify=no
  shift
fi
if ! command -v hardening-check >/dev/null; then
  echo "FAILED: hardening-check is missing (devscripts; scripts/install-deps installs it)" >&2
  exit 1
fi

failures=0
for program in "$@"; do
  report=$(hardening-check "${options[@]}" "$program" 2>&1) ||
    { echo "FAILED: $report" >&2; failures=$((failures + 1)); }
  if [ $fortify = yes ] && ! grep -q "Fortify Source functions: yes" <<<"$report"; then
    echo "FAILED: $program calls no fortified libc function: $report" >&2
    failures=$((failures + 1))
  fi
  main=$(objdump -d --disassemble=main "$program" 2>/dev/null)
  first=${main#*<main>:$'\n'}
  if [[ $main == *"<main>:"* && ${first%%$'\n'*} != *endbr64 ]]; then
    echo "FAILED: $program was compiled without control-flow protection (-fcf-protection)" >&2
    failures=$((failures + 1))
  fi
done
[ "$failures" -eq 0 ] || exit 1
echo "PASSED: $*"
