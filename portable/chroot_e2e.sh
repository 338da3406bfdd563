#!/usr/bin/env bash
# End to end on a bare machine: the disc kit's launcher in a chroot that holds nothing but glibc,
# the X11 client libraries with their locale data, /bin/sh (for the autostart file and the
# stand-in mount program), a Wine-style prefix and the demo disc. It is started through the disc's autostart file from
# another folder and talks to a private X server outside through the abstract X socket. The
# window must show six tiles with their captions (no font is installed in the chroot), and a
# click must reach the stand-in. Without a display or an X11 library, the autostart file must say
# so instead of starting the launcher. When the X server dies, the launcher must exit with status
# 1 within a second, with its window up and with its message box up.
#
#   chroot_e2e.sh KIT_DIR WORK_DIR
set -uo pipefail

kit=$(cd "$1" && pwd)
work=$2
here=$(cd "$(dirname "$0")" && pwd)
skip_code=77

if [ "$(id -u)" -ne 0 ]; then
  echo "SKIPPED: building a chroot needs root"
  exit $skip_code
fi
# shellcheck source=../tests/e2e/xsession.sh
. "$here/../tests/e2e/xsession.sh"
xs_require xdotool xwd convert

mkdir -p "$work"
work=$(cd "$work" && pwd)
root=$work/root
cleanup() {
  xs_cleanup
  if mountpoint -q "$root/proc"; then umount "$root/proc"; fi
}
trap cleanup EXIT

failures=0
fail() {
  echo "FAILED: $*" >&2
  failures=$((failures + 1))
}

cleanup  # a run that was killed may have left /proc mounted
rm -rf --one-file-system "$work"
mkdir -p "$root/bin" "$root/tmp" "$root/elsewhere" "$root/proc"

# The libraries /bin/sh loads and those the launcher may load, at the paths the loader looks for
# them. Whatever else the launcher might need is missing, as on a bare machine.
# shellcheck source=allowed_libraries.sh
. "$here/allowed_libraries.sh"
cp -L /bin/sh "$root/bin/sh"
for program in "$kit/talvesk" /bin/sh; do
  ldd "$program" | awk '$2 == "=>" && $3 ~ /^\// { print $3 } $1 ~ /^\// { print $1 }'
done | sort -u | while IFS= read -r library; do
  [[ $(basename "$library") =~ $allowed_libraries ]] || continue
  mkdir -p "$root$(dirname "$library")"
  cp -L "$library" "$root$library"
done
# libX11 cannot convert the window's title without its locale data (Debian's libx11-data, which
# libX11 always comes with); SDL then leaves the window nameless.
mkdir -p "$root/usr/share/X11"
cp -a /usr/share/X11/locale "$root/usr/share/X11/locale"

"$here/../scripts/make-demo-disc" "$work/demo" "$kit" >/dev/null || exit 1
cp -a "$work/demo" "$root/demo"
disc=$root/demo/disc

mount -t proc proc "$root/proc" || { echo "FAILED: cannot mount /proc in the chroot" >&2; exit 1; }
xs_start_xvfb "$work" || exit 1
out=$work/launcher.out
(exec env -i DISPLAY="$DISPLAY" SDL_VIDEODRIVER=x11 WINEPREFIX=/demo/prefix \
  /usr/sbin/chroot "$root" /bin/sh -c 'cd /elsewhere && exec /demo/disc/autorun.sh' \
  >"$out" 2>&1) &
XS_APP_PID=$!
XS_WID=$(timeout 15 xdotool search --sync --all --onlyvisible --pid "$XS_APP_PID" \
  --name '^Talvesk$' 2>/dev/null | head -n1) || true
if [ -z "$XS_WID" ]; then
  echo "FAILED: the launcher's window did not appear; its output:" >&2
  cat "$out" >&2
  exit 1
fi

# Slot order is the directory's own enumeration order; ls -f lists it unsorted.
titles=()
while IFS= read -r name; do
  [ -d "$disc/$name" ] && [ "$name" != . ] && [ "$name" != .. ] && titles+=("$name")
done < <(ls -f "$disc")
[ ${#titles[@]} -ge 6 ] || { echo "FAILED: the demo disc has fewer than six titles" >&2; exit 1; }

tile_x() { echo $((8 + 112 * ($1 % 3))); }
tile_y() { echo $((8 + 160 * ($1 / 3))); }
is_white='r>0.85 && g>0.85 && b>0.85'
all_captions_drawn() {
  local k
  for k in 0 1 2 3 4 5; do
    [ "$(xs_count "$1" "112x16+$(tile_x $k)+$(($(tile_y $k) + 112))" "$is_white")" -ge 15 ] ||
      return 1
  done
}
shot=$work/launcher.png
xs_wait_for_shot "$shot" all_captions_drawn || fail "not all six captions showed"
for k in 0 1 2 3 4 5; do
  [ "$(xs_count "$shot" "105x105+$(tile_x $k)+$(tile_y $k)" '!(r<0.05 && g<0.05 && b<0.05)')" \
    -ge 100 ] || fail "tile $((k + 1)) (${titles[k]}) is empty"
done

# A click on the first tile whose title has a disc image.
for k in 0 1 2 3 4 5; do
  [ -e "$disc/${titles[k]}/obraz.bin" ] && break
done
xs_click $(($(tile_x "$k") + 50)) $(($(tile_y "$k") + 50))
expected="daemon.exe received: \"-mount\" \"0,D:\\\\${titles[k]}\\obraz.bin\""
for _ in $(seq 100); do
  grep -qxF "$expected" "$out" && break
  sleep 0.1
done
grep -qxF "$expected" "$out" ||
  fail "the stand-in did not receive the mount command; expected: $expected; output: $(cat "$out")"

for _ in $(seq 100); do
  kill -0 "$XS_APP_PID" 2>/dev/null || break
  sleep 0.1
done
if kill -0 "$XS_APP_PID" 2>/dev/null; then
  xs_stop "$XS_APP_PID"
  XS_APP_PID=""
  fail "the launcher did not end after the launch"
else
  wait "$XS_APP_PID"
  status=$?
  XS_APP_PID=""
  [ "$status" -eq 0 ] || fail "the launcher exited with status $status"
fi

# The autostart file on a machine that has nothing but sh: a failed check tells the player in
# Polish and English (here only on stderr: the chroot has no notification or dialog program) and
# starts nothing.
autorun_says() { # WHAT POLISH ENGLISH [ENV...]: the autostart file must fail with both sentences
  local what=$1 polish=$2 english=$3 said
  shift 3
  said=$(timeout 10 env -i "$@" /usr/sbin/chroot "$root" /bin/sh -c \
    'cd /elsewhere && exec /demo/disc/autorun.sh' 2>&1) &&
    fail "$what: the autostart file did not fail; output: $said"
  [[ $said == *"$polish"* && $said == *"$english"* ]] ||
    fail "$what: the autostart file said: $said"
}
autorun_says "no display" "Brak ekranu X11" "There is no X11 display"
x11=$(find "$root" -path "$root/proc" -prune -o -name libX11.so.6 -print)
mv "$x11" "$x11.away"
autorun_says "no libX11" "Brakuje bibliotek, których Talvesk potrzebuje: libX11.so.6" \
  "Talvesk needs libraries this system lacks: libX11.so.6" DISPLAY="$DISPLAY"
mv "$x11.away" "$x11"

# in_chroot FOLDER OUTPUT: starts ./talvesk there in the chroot; XS_APP_PID is the launcher.
in_chroot() {
  (exec env -i DISPLAY="$DISPLAY" SDL_VIDEODRIVER=x11 /usr/sbin/chroot "$root" /bin/sh -c \
    "cd $1 && exec ./talvesk" >"$2" 2>&1) &
  XS_APP_PID=$!
}
# dies_with_x_server WHAT: kills the X server; the launcher must exit with status 1 at once.
dies_with_x_server() {
  xs_ends_with_x_server ||
    fail "$1: the launcher did not exit with status 1 within a second of its X server's death" \
      "(${XS_STATUS:-it still runs})"
  xs_cleanup
}

in_chroot /demo/disc "$work/dead-x.out"
timeout 15 xdotool search --sync --all --onlyvisible --pid "$XS_APP_PID" --name '^Talvesk$' \
  >/dev/null 2>&1 || fail "the launcher's window did not appear again"
dies_with_x_server "window up"

# Exceptions unwind through the object lookup this build supplies (portable/older_glibc.cpp): a
# damaged cover must end in the launcher's message box, not in an abort.
xs_start_xvfb "$work" || exit 1
mkdir -p "$root/damaged/Zepsuta"
echo damaged >"$root/damaged/Zepsuta/1.jpg"
cp "$kit/talvesk" "$root/damaged/talvesk"
in_chroot /damaged "$work/damaged.out"
boxed=no
for _ in $(seq 40); do
  if [ "$(xs_window_count)" -ge 2 ]; then
    boxed=yes
    break
  fi
  kill -0 "$XS_APP_PID" 2>/dev/null || break
  sleep 0.25
done
if [ $boxed = yes ] && kill -0 "$XS_APP_PID" 2>/dev/null; then
  dies_with_x_server "message box up"
else
  fail "a damaged cover did not bring up the message box; output: $(cat "$work/damaged.out")"
fi

if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) failed; screenshot: $shot" >&2
  exit 1
fi
echo "PASSED; screenshot: $shot"
