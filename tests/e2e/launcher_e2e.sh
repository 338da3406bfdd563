#!/usr/bin/env bash
# End to end: the real launcher binary, copied with the disc's autostart file to the root of a disc
# mapped as drive D:, in a private X server, started through the autostart file from another
# folder. Judges the screenshot (tiles, placeholder, captions, a cover), clicks a tile without a
# disc image and then one with, and checks the command line the stand-in mount program received
# and the launcher's exit status.
#
#   launcher_e2e.sh LAUNCHER WORK_DIR
set -uo pipefail

launcher=$1
work=$2
here=$(cd "$(dirname "$0")" && pwd)
skip_code=77

if ! command -v Xvfb >/dev/null; then
  echo "SKIPPED: Xvfb is not installed (scripts/install-deps installs it)"
  exit $skip_code
fi
for tool in xdotool xwd xprop convert; do
  command -v "$tool" >/dev/null || { echo "FAILED: $tool is missing" >&2; exit 1; }
done

# shellcheck source=xsession.sh
. "$here/xsession.sh"
trap xs_cleanup EXIT

failures=0
fail() {
  echo "FAILED: $*" >&2
  failures=$((failures + 1))
}

rm -rf "$work"
mkdir -p "$work"
work=$(cd "$work" && pwd)
disc=$work/disc
prefix=$work/prefix
record="$prefix/drive_c/Program Files/DAEMON Tools/args"
mkdir -p "$disc" "$prefix/dosdevices" "$prefix/drive_c/Program Files/DAEMON Tools"
ln -s ../drive_c "$prefix/dosdevices/c:"
ln -s "$disc" "$prefix/dosdevices/d:"

# The tests' stand-in writes each argument on a line of its own to "args" beside itself.
install -m 755 "$here/../support/stand-in-program.sh" "$prefix/drive_c/Program Files/DAEMON Tools/daemon.exe"

cp "$launcher" "$disc/talvesk"
cp "$here/../../launcher/autorun.sh" "$disc/autorun.sh"

# Three titles: a cover split blue | yellow (so orientation and stretching show) with a disc
# image; a disc image without cover; a cover without disc image.
covered="Niebieski Żółty"
uncovered="Bez Okładki"
imageless="Tylko Okładka"
mkdir -p "$disc/$covered" "$disc/$uncovered" "$disc/$imageless"
convert -size 320x480 xc:'#0000ff' -size 320x480 xc:'#ffff00' +append -quality 95 \
  "$disc/$covered/1.jpg"
cp "$disc/$covered/1.jpg" "$disc/$imageless/1.jpg"
echo image >"$disc/$covered/obraz.bin"
echo image >"$disc/$uncovered/obraz.bin"

# Slot order is the directory's own enumeration order; ls -f lists it unsorted.
declare -A slot
n=0
while IFS= read -r name; do
  case $name in . | .. | talvesk | autorun.sh) continue ;; esac
  slot[$name]=$n
  n=$((n + 1))
done < <(ls -f "$disc")

tile_x() { echo $((8 + 112 * ($1 % 3))); }
tile_y() { echo $((8 + 160 * ($1 / 3))); }
tile_region() { echo "105x105+$(tile_x "$1")+$(tile_y "$1")"; }
# The caption band under a tile: the label starts at the tile's left edge, 7 pixels below it.
caption_region() { echo "112x16+$(tile_x "$1")+$(($(tile_y "$1") + 112))"; }

is_red='r>0.9 && g<0.1 && b<0.1'
is_white='r>0.85 && g>0.85 && b>0.85'
is_other='!(r<0.05 && g<0.05 && b<0.05) && !(r>0.9 && g<0.1 && b<0.1)'

# The placeholder, drawn 1:1: red lettering in its two boxes and nothing but black and red.
placeholder_ok() {
  local shot=$1 k=$2 x y
  x=$(tile_x "$k")
  y=$(tile_y "$k")
  [ "$(xs_count "$shot" "40x13+$((x + 29))+$((y + 25))" "$is_red")" -ge 20 ] &&
    [ "$(xs_count "$shot" "64x13+$((x + 16))+$((y + 53))" "$is_red")" -ge 30 ] &&
    [ "$(xs_count "$shot" "$(tile_region "$k")" "$is_other")" -eq 0 ]
}

first_frame_ready() { placeholder_ok "$1" 5; }

xs_start_xvfb "$work" || exit 1
xs_start_app "$work" "$disc/autorun.sh" WINEPREFIX="$prefix" || exit 1
shot=$work/launcher.png
xs_wait_for_shot "$shot" first_frame_ready || fail "the placeholder never showed in tile 6"

icon=$(timeout 5 xprop -id "$XS_WID" _NET_WM_ICON 2>/dev/null | head -n 1)
[[ $icon == *"Icon ("* ]] || fail "the window carries no icon"
size=$(identify -format '%wx%h' "$shot")
[ "$size" = "345x331" ] || fail "client area is $size, expected 345x331"
for gap in 7x105+113+8 7x105+225+8 7x105+113+168 7x105+225+168; do
  [ "$(xs_count "$shot" "$gap" "!(r<0.05 && g<0.05 && b<0.05)")" -eq 0 ] ||
    fail "the gap $gap between tiles is not black"
done

for name in "$covered" "$uncovered" "$imageless"; do
  k=${slot[$name]}
  [ "$(xs_count "$shot" "$(caption_region "$k")" "$is_white")" -ge 15 ] ||
    fail "no white caption under tile $((k + 1)) ($name)"
done
for k in 3 4 5; do
  placeholder_ok "$shot" "$k" || fail "tile $((k + 1)) does not show the placeholder"
  [ "$(xs_count "$shot" "$(caption_region "$k")" "$is_white")" -eq 0 ] ||
    fail "caption $((k + 1)) is not empty"
done
placeholder_ok "$shot" "${slot[$uncovered]}" || fail "the title without cover lost its placeholder"

near() { # near "R G B" R G B: every channel within 40
  local got=($1)
  for i in 0 1 2; do
    local d=$((got[i] - $((i == 0 ? $2 : i == 1 ? $3 : $4))))
    [ ${d#-} -le 40 ] || return 1
  done
}
k=${slot[$covered]}
x=$(tile_x "$k")
y=$(tile_y "$k")
left=$(xs_mean "$shot" "30x80+$((x + 10))+$((y + 12))")
right=$(xs_mean "$shot" "30x80+$((x + 65))+$((y + 12))")
near "$left" 0 0 255 || fail "cover tile's left half is ($left), expected blue"
near "$right" 255 255 0 || fail "cover tile's right half is ($right), expected yellow"

# A tile without disc image does nothing; the next click launches and the launcher ends.
k=${slot[$imageless]}
xs_click $(($(tile_x "$k") + 50)) $(($(tile_y "$k") + 50))
k=${slot[$uncovered]}
xs_click $(($(tile_x "$k") + 50)) $(($(tile_y "$k") + 50))

if ! xs_wait_until 100 xs_gone "$XS_APP_PID"; then
  fail "the launcher did not end after a successful launch"
else
  wait "$XS_APP_PID"
  status=$?
  XS_APP_PID=""
  [ "$status" -eq 0 ] || fail "the launcher exited with status $status"
fi

expected=$(printf '%s\n' "-mount" "0,D:\\\\$uncovered\\obraz.bin")
if ! xs_wait_until 100 test -e "$record"; then
  fail "the mount program was not started"
elif [ "$(cat "$record")" != "$expected" ]; then
  fail "the mount program received:"$'\n'"$(cat "$record")"$'\n'"expected:"$'\n'"$expected"
fi

# Without a window manager the error box must still land over the main window and on the
# screen: a disc whose only cover is no JPEG makes the launcher show one at start-up.
# window_geometry ID: "x y width height" of a window on the screen.
window_geometry() {
  xwininfo -id "$1" | awk '/Absolute upper-left X/ {x=$NF} /Absolute upper-left Y/ {y=$NF}
    /^ +Width:/ {w=$NF} /^ +Height:/ {h=$NF} END {print x, y, w, h}'
}
error_box_scenario() {
  local boxdisc=$work/errorbox box="" id bx by bw bh mx my mw mh
  mkdir -p "$boxdisc/Zepsuta"
  echo "not a picture" >"$boxdisc/Zepsuta/1.jpg"
  cp "$launcher" "$boxdisc/talvesk"
  xs_start_app "$boxdisc" ./talvesk WINEPREFIX="$prefix" || {
    fail "the launcher's window did not appear for the error box"
    return
  }
  # The box is the one other viewable top-level window (it belongs to a forked child).
  for _ in $(seq 40); do
    for id in $(xwininfo -root -children 2>/dev/null | awk '/^ +0x/ {print $1}'); do
      [ $((id)) -eq $((XS_WID)) ] && continue
      if xwininfo -id "$id" 2>/dev/null | grep -q 'Map State: IsViewable'; then
        box=$id
        break 2
      fi
    done
    sleep 0.25
  done
  if [ -z "$box" ]; then
    fail "no error box appeared"
  else
    read -r bx by bw bh < <(window_geometry "$box")
    read -r mx my mw mh < <(window_geometry "$XS_WID")
    local centre_offset=$(((2 * bx + bw) - (2 * mx + mw)))
    [ ${centre_offset#-} -le 4 ] ||
      fail "the error box ($bw x $bh at $bx,$by) is not centred over the window ($mw x $mh at $mx,$my)"
    [ "$bx" -ge 0 ] && [ "$by" -ge 0 ] && [ $((bx + bw)) -le 1024 ] && [ $((by + bh)) -le 768 ] ||
      fail "the error box ($bw x $bh at $bx,$by) is not wholly on the 1024 x 768 screen"
    [ "$by" -ge "$my" ] && [ "$by" -lt $((my + mh)) ] ||
      fail "the error box's top ($by) is not over the window ($my to $((my + mh)))"
    xdotool key --window "$box" Return
  fi
  xs_stop "$XS_APP_PID"
  XS_APP_PID=""
}
error_box_scenario

if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) failed; screenshot: $shot" >&2
  exit 1
fi
echo "PASSED; screenshot: $shot"
