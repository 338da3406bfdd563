#!/usr/bin/env bash
# End to end, as a player meets it: a disc laid out as the README says (the launcher, the virtual
# drive and the autostart file at its root, a title folder with its cover and CD image), on a
# machine with Wine and FUSE and nothing set up by hand: no Wine prefix yet, no drive installed,
# the disc lettered nowhere. The autostart file installs the drive (which makes the prefix) and
# starts the launcher in a private X server; a click on the title must mount its image as a CD-ROM
# drive and start the image's AutoPlay program, a Windows probe that reports what it sees. A click
# on a title whose image is no CD image must end in the drive's message box, with nothing mounted.
#
#   drive_e2e.sh LAUNCHER DRIVE PROBE WORK_DIR
set -uo pipefail

launcher=$1
drive=$2
probe=$3
work=$4
here=$(cd "$(dirname "$0")" && pwd)

# shellcheck source=xsession.sh
. "$here/xsession.sh"
xs_require xdotool xwininfo convert xorriso wine

rm -rf "$work"
mkdir -p "$work"
work=$(cd "$work" && pwd)
export HOME=$work/home WINEPREFIX=$work/prefix XDG_RUNTIME_DIR=$work/run
unset XDG_DATA_HOME XDG_CONFIG_HOME GDK_SCALE QT_SCALE_FACTOR
# Quiet Wine, and no Mono or Gecko installer dialogs while the drive makes the prefix.
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
mkdir -p "$HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"

cleanup() {
  xs_cleanup
  "$HOME/.local/share/talvesk/talvesk-drive" -unmount 0 >/dev/null 2>&1
  # This test's own prefix, so its own server.
  [ -d "$WINEPREFIX" ] && { wineserver -k; wineserver -w; } >/dev/null 2>&1
}
trap cleanup EXIT

disc=$work/disc
mkdir -p "$disc"
cp "$launcher" "$disc/talvesk"
cp "$drive" "$disc/talvesk-drive"
cp "$here/../../launcher/autorun.sh" "$disc/autorun.sh"
# Tile 1: a title whose image's AutoPlay program is the probe; tile 2: an image that is no CD.
mkdir -p "$work/image/Data" "$disc/Gra" "$disc/Zepsuta"
cp "$probe" "$work/image/Probe.exe"
printf '[autorun]\r\nopen=Probe.exe Data\\ReadMe.txt\r\n' >"$work/image/autorun.inf"
printf 'from the disc\r\n' >"$work/image/Data/ReadMe.txt"
xorriso -report_about SORRY -outdev "$disc/Gra/obraz.bin" -rockridge on -joliet on -volid GRA_1 \
  -map "$work/image" / -commit || exit 1
echo "not a disc" >"$disc/Zepsuta/obraz.bin"
for title in Gra Zepsuta; do convert -size 64x64 xc:'#2040c0' "$disc/$title/1.jpg"; done
export TALVESK_PROBE_REPORT="Z:${work//\//\\}\\report.txt"

# Which tile a title got: "." and ".." first (this disc is a folder, not a mounted file system),
# then the disc's folders in the order the file system lists them.
tile_of() {
  local n=2 name
  while IFS= read -r name; do
    [ -d "$disc/$name" ] && [ "$name" != . ] && [ "$name" != .. ] || continue
    n=$((n + 1))
    [ "$name" = "$1" ] && echo $n && return
  done < <(ls -f "$disc")
}
# The centre of tile N of the 3 x 2 grid of 105-pixel tiles, 112 pixels apart across, 160 down.
click_tile() {
  xs_click $((60 + ($1 - 1) % 3 * 112)) $((60 + ($1 - 1) / 3 * 160))
}

xs_start_xvfb "$work" || exit 1
XS_START_SECONDS=120 xs_start_app "$work" "$disc/autorun.sh" || exit 1
daemon="$WINEPREFIX/drive_c/Program Files/DAEMON Tools/daemon.exe"
[ -L "$daemon" ] || fail "the autostart file did not install the drive"

click_tile "$(tile_of Gra)"
if xs_await_exit "$XS_APP_PID" 100; then XS_APP_PID=""; else fail "the launcher did not end"; fi
if ! xs_wait_until 600 test -e "$work/report.txt"; then
  fail "AutoPlay did not start the probe from the mounted image"
else
  report=$(tr -d '\r' <"$work/report.txt")
  for line in drive_type=5 label=GRA_1 'cwd=D:\' 'file=from the disc'; do
    grep -qxF "$line" <<<"$report" || fail "the probe did not report $line:"$'\n'"$report"
  done
fi

# The second title's image is no CD image: the drive, alone after the launcher has closed, shows
# why in a message box.
XS_START_SECONDS=30 xs_start_app "$work" "$disc/autorun.sh" 2>"$work/second.log" || exit 1
click_tile "$(tile_of Zepsuta)"
if xs_await_exit "$XS_APP_PID" 100; then XS_APP_PID=""; else fail "the launcher did not end"; fi
XS_WID=0
if ! xs_wait_for_box; then
  fail "no message box told that the image is not a CD image"
else
  xdotool key --window "$XS_BOX" Return
fi
grep -q "is not a CD image" "$work/second.log" ||
  fail "the drive did not say on stderr why it could not mount: $(cat "$work/second.log")"
mounts=$(grep 'fuse.talvesk-drive' /proc/self/mountinfo | grep -cF "$XDG_RUNTIME_DIR")
[ "$mounts" -eq 1 ] || fail "$mounts images are mounted; only the first title's should be"

[ "$failures" -eq 0 ] || exit 1
echo "PASSED"
