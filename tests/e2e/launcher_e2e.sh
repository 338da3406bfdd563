#!/usr/bin/env bash
# End to end: the real launcher binary, copied with the disc's autostart file to the root of a disc
# mapped as drive D:, in a private X server, started through the autostart file from another
# folder. The disc's names are in capitals, as a plain ISO 9660 disc shows them. Judges the
# screenshot (the placeholder, a cover); at the desktop scale 2 the frame must be that screenshot
# enlarged, pixel for pixel, and a click on the enlarged title must launch it: checks the command
# line the stand-in mount program received and the launcher's exit status. Then checks where an
# error box lands, and that on a screen smaller than the window the window manager's title bar
# stays on the screen.
#
#   launcher_e2e.sh LAUNCHER WORK_DIR
set -uo pipefail

launcher=$1
work=$2
here=$(cd "$(dirname "$0")" && pwd)

# shellcheck source=xsession.sh
. "$here/xsession.sh"
xs_require xdotool xwd xprop xwininfo convert compare openbox
trap xs_cleanup EXIT
unset GDK_SCALE QT_SCALE_FACTOR  # the desktop's scale is 1 until the test sets it


rm -rf "$work"
mkdir -p "$work"
work=$(cd "$work" && pwd)
disc=$work/disc
prefix=$work/prefix
mounter="$prefix/drive_c/Program Files/DAEMON Tools"
mkdir -p "$disc" "$prefix/dosdevices" "$mounter"
ln -s ../drive_c "$prefix/dosdevices/c:"
ln -s "$disc" "$prefix/dosdevices/d:"
# The tests' stand-in writes each argument on a line of its own to "args" beside itself.
install -m 755 "$here/../support/stand-in-program.sh" "$mounter/daemon.exe"
cp "$launcher" "$disc/TALVESK"
cp "$here/../../launcher/autorun.sh" "$disc/AUTORUN.SH"

# One title in tile 1: a cover split blue | yellow (so orientation and colour order show) and a
# disc image.
title="Niebieski Żółty"
mkdir -p "$disc/$title"
convert -size 320x480 xc:'#0000ff' -size 320x480 xc:'#ffff00' +append -quality 95 \
  "$disc/$title/1.jpg"
echo image >"$disc/$title/obraz.bin"

# The placeholder in tile 6, drawn 1:1: red lettering in its two boxes and nothing but black and
# red.
placeholder_in_tile_6() {
  local red='r>0.9 && g<0.1 && b<0.1'
  [ "$(xs_count "$1" "40x13+261+193" "$red")" -ge 20 ] &&
    [ "$(xs_count "$1" "64x13+248+221" "$red")" -ge 30 ] &&
    [ "$(xs_count "$1" "105x105+232+168" "!(r<0.05 && g<0.05 && b<0.05) && !($red)")" -eq 0 ]
}

xs_start_xvfb "$work" || exit 1
xs_start_app "$work" "$disc/AUTORUN.SH" WINEPREFIX="$prefix" || exit 1
shot=$work/launcher.png
xs_wait_for_shot "$shot" placeholder_in_tile_6 || fail "the placeholder never showed in tile 6"

icon=$(timeout 5 xprop -id "$XS_WID" _NET_WM_ICON 2>/dev/null | head -n 1)
[[ $icon == *"Icon ("* ]] || fail "the window carries no icon"

near() { # near "R G B" R G B: every channel within 40
  local got=($1) want=("$2" "$3" "$4") i d
  for i in 0 1 2; do
    d=$((got[i] - want[i]))
    [ ${d#-} -le 40 ] || return 1
  done
}
left=$(xs_mean "$shot" "30x80+18+20")
right=$(xs_mean "$shot" "30x80+73+20")
near "$left" 0 0 255 || fail "cover tile's left half is ($left), expected blue"
near "$right" 255 255 0 || fail "cover tile's right half is ($right), expected yellow"

xs_stop "$XS_APP_PID"

# The desktop's scale 2 (Xft.dpi 192 in the X resources, as desktops set it for 4K screens).
xprop -root -f RESOURCE_MANAGER 8s -set RESOURCE_MANAGER "Xft.dpi:	192"
convert "$shot" -scale 200% "$work/enlarged.png"
is_enlarged_shot() {
  [ "$(compare -metric AE "$work/enlarged.png" "$1" null: 2>&1)" = 0 ]
}
xs_start_app "$work" "$disc/AUTORUN.SH" WINEPREFIX="$prefix" || exit 1
xs_wait_for_shot "$work/scaled.png" is_enlarged_shot ||
  fail "at scale 2 the frame ($work/scaled.png) is not the frame at scale 1 enlarged"
xprop -root -remove RESOURCE_MANAGER

xs_click 116 116
if ! xs_await_exit "$XS_APP_PID" 100; then
  fail "the launcher did not end after a successful launch"
else
  XS_APP_PID=""
  [ "$XS_STATUS" -eq 0 ] || fail "the launcher exited with status $XS_STATUS"
fi
expected=$(printf '%s\n' "-mount" "0,D:\\\\$title\\obraz.bin")
if ! xs_wait_until 100 test -e "$mounter/args"; then
  fail "the mount program was not started"
elif [ "$(cat "$mounter/args")" != "$expected" ]; then
  fail "the mount program received:"$'\n'"$(cat "$mounter/args")"$'\n'"expected:"$'\n'"$expected"
fi

# Without a window manager the error box must still land over the main window and on the
# screen: a disc whose only cover is no JPEG makes the launcher show one at start-up.
# window_geometry ID: "x y width height" of a window on the screen.
window_geometry() {
  xwininfo -id "$1" | awk '/Absolute upper-left X/ {x=$NF} /Absolute upper-left Y/ {y=$NF}
    /^ +Width:/ {w=$NF} /^ +Height:/ {h=$NF} END {print x, y, w, h}'
}
error_box_scenario() {
  local boxdisc=$work/errorbox bx by bw bh mx my mw mh
  mkdir -p "$boxdisc/Zepsuta"
  echo "not a picture" >"$boxdisc/Zepsuta/1.jpg"
  cp "$launcher" "$boxdisc/talvesk"
  xs_start_app "$boxdisc" ./talvesk WINEPREFIX="$prefix" || {
    fail "the launcher's window did not appear for the error box"
    return
  }
  if ! xs_wait_for_box; then
    fail "no error box appeared"
  else
    read -r bx by bw bh < <(window_geometry "$XS_BOX")
    read -r mx my mw mh < <(window_geometry "$XS_WID")
    local centre_offset=$(((2 * bx + bw) - (2 * mx + mw)))
    [ ${centre_offset#-} -le 4 ] ||
      fail "the error box ($bw x $bh at $bx,$by) is not centred over the window ($mw x $mh at $mx,$my)"
    [ "$bx" -ge 0 ] && [ "$by" -ge 0 ] && [ $((bx + bw)) -le 1024 ] && [ $((by + bh)) -le 768 ] ||
      fail "the error box ($bw x $bh at $bx,$by) is not wholly on the 1024 x 768 screen"
    [ "$by" -ge "$my" ] && [ "$by" -lt $((my + mh)) ] ||
      fail "the error box's top ($by) is not over the window ($my to $((my + mh)))"
    xdotool key --window "$XS_BOX" Return
  fi
  xs_stop "$XS_APP_PID"
  XS_APP_PID=""
}
error_box_scenario

# On a screen smaller than the window, under a window manager (openbox puts its frame where the
# window asks to be), the frame's top-left corner, and with it the title bar, is on the screen.
wm_running() { xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'; }
frame_known() { xprop -id "$XS_WID" _NET_FRAME_EXTENTS 2>/dev/null | grep -q '= '; }
small_screen_scenario() {
  local wm x y left top
  xs_stop "$XS_XVFB_PID"
  xs_start_xvfb "$work" 320x240 || exit 1
  openbox --sm-disable >"$work/openbox.log" 2>&1 &
  wm=$!
  xs_wait_until 50 wm_running || fail "openbox did not start"
  if xs_start_app "$work" "$disc/TALVESK" WINEPREFIX="$prefix" && xs_wait_until 50 frame_known; then
    read -r x y _ < <(window_geometry "$XS_WID")
    IFS=' ,' read -r left _ top _ < <(xprop -id "$XS_WID" _NET_FRAME_EXTENTS | cut -d= -f2)
    [ $((x - left)) -ge 0 ] && [ $((y - top)) -ge 0 ] ||
      fail "on a 320 x 240 screen the window's frame starts at ($((x - left)), $((y - top)))"
  else
    fail "the launcher's window did not appear framed on the small screen"
  fi
  xs_stop "$XS_APP_PID"
  XS_APP_PID=""
  xs_stop "$wm"
}
small_screen_scenario

if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) failed; screenshot: $shot" >&2
  exit 1
fi
echo "PASSED; screenshot: $shot"
