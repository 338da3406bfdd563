#!/usr/bin/env bash
# The disc's autostart file checks what a start needs before it starts the launcher, and tells the
# player what is missing, in Polish and English, on stderr and through the first of the desktop's
# message programs that works (notify-send, zenity, kdialog, xmessage). The launcher is the real
# one, made to fail the way a player's machine makes it fail: without execute permission, on a
# disc mounted noexec (as root only), needing a C library newer than the machine's, missing an X11
# library (the last two by renaming what its loader looks for), and without a display.
#
#   autorun_test.sh LAUNCHER WORK_DIR
set -uo pipefail

launcher=$1
work=$2
autorun=$(cd "$(dirname "$0")/../../launcher" && pwd)/autorun.sh

rm -rf "$work"
mkdir -p "$work"
work=$(cd "$work" && pwd)
noexec=$work/noexec
cleanup() { if mountpoint -q "$noexec"; then umount "$noexec"; fi; }
trap cleanup EXIT

failures=0
fail() {
  echo "FAILED: $*" >&2
  failures=$((failures + 1))
}

# Stand-ins for the message programs: each writes its arguments to said.<name>; a stand-in named
# in $FAILING fails, as notify-send does where no notification service runs.
stand_ins=$work/stand-ins
mkdir -p "$stand_ins"
for tool in notify-send zenity kdialog xmessage; do
  printf '#!/bin/sh\nprintf "%%s\\n" "$@" >"%s/said.%s"\ncase " $FAILING " in *" %s "*) exit 1 ;; esac\n' \
    "$work" "$tool" "$tool" >"$stand_ins/$tool"
  chmod +x "$stand_ins/$tool"
done

# disc FOLDER: a disc with the autostart file and the launcher at its root.
disc() {
  mkdir -p "$1"
  cp "$autorun" "$1/autorun.sh"
  cp "$launcher" "$1/talvesk"
}
# rename FILE FROM TO: replaces a name in the binary by another of the same length.
rename() { FROM=$2 TO=$3 perl -pi -e 's/\Q$ENV{FROM}\E/$ENV{TO}/g' "$1"; }

newest_glibc=$(objdump -T "$launcher" | grep -o 'GLIBC_[0-9.]*' | sort -u -V | tail -n1)
future_glibc=GLIBC_9${newest_glibc#GLIBC_2}

prepare() {
  local d=$work/$1
  case $1 in
  not-executable) disc "$d" && chmod -x "$d/talvesk" ;;
  noexec)
    [ "$(id -u)" -eq 0 ] || return 1
    mkdir -p "$noexec" && mount -t tmpfs -o noexec tmpfs "$noexec" && disc "$noexec"
    ;;
  old-glibc) disc "$d" && rename "$d/talvesk" "$newest_glibc" "$future_glibc" ;;
  no-x11) disc "$d" && rename "$d/talvesk" libX11.so.6 libXzz.so.6 ;;
  no-display) disc "$d" ;;
  esac
}

# case | message programs there | failing | the one that shows it | Polish | English
cases=(
  "not-executable|notify-send zenity|notify-send|zenity|nie ma prawa wykonywania|is not executable"
  "noexec|kdialog xmessage||kdialog|z opcją noexec|it is mounted noexec"
  "old-glibc|notify-send||notify-send|wersji ${future_glibc#GLIBC_} lub nowszej|needs version ${future_glibc#GLIBC_} or newer"
  "no-x11|xmessage||xmessage|potrzebuje: libXzz.so.6|this system lacks: libXzz.so.6"
  "no-display|||stderr|Brak ekranu X11|There is no X11 display"
)
for row in "${cases[@]}"; do
  IFS='|' read -r name present failing shown polish english <<<"$row"
  if ! prepare "$name"; then
    echo "skipped: $name (needs root)"
    continue
  fi
  root=$work/$name
  [ "$name" = noexec ] && root=$noexec
  path=$work/path-$name
  mkdir -p "$path"
  for tool in $present; do ln -s "$stand_ins/$tool" "$path/$tool"; done
  rm -f "$work"/said.*
  display=()
  [ "$name" = no-display ] || display=(DISPLAY=:99)

  # Started from another folder, as a desktop does.
  stderr=$(cd "$work" && timeout 10 env -i PATH="$path" FAILING="$failing" "${display[@]}" \
    /bin/sh "$root/autorun.sh" 2>&1 >/dev/null)
  status=$?
  [ "$status" -ne 0 ] || fail "$name: the autostart file succeeded"
  [[ $stderr == *"$polish"* && $stderr == *"$english"* ]] || fail "$name: stderr says: $stderr"
  for tool in notify-send zenity kdialog xmessage; do
    said=$(cat "$work/said.$tool" 2>/dev/null)
    if [ "$tool" = "$shown" ]; then
      [[ $said == *"$polish"* && $said == *"$english"* ]] ||
        fail "$name: $tool was to show the message, it got: $said"
    elif [ -n "$said" ] && [[ " $failing " != *" $tool "* ]]; then
      fail "$name: $tool showed the message too, or instead of $shown"
    fi
  done
done

if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) failed" >&2
  exit 1
fi
echo PASSED
