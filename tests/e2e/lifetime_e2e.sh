#!/usr/bin/env bash
# End to end: how the real launcher ends when the session around it does. SIGTERM, SIGINT and
# SIGHUP end it within a second, also while its message box is up (the box goes with it); when
# its X server dies it exits with status 1 within a second, with or without a box.
#
#   lifetime_e2e.sh LAUNCHER WORK_DIR
set -uo pipefail

launcher=$1
work=$2
here=$(cd "$(dirname "$0")" && pwd)

# shellcheck source=xsession.sh
. "$here/xsession.sh"
xs_require xdotool xwininfo
trap xs_cleanup EXIT


rm -rf "$work"
mkdir -p "$work/plain/Tytul" "$work/box/Zepsuta"
work=$(cd "$work" && pwd)
# The launcher looks for covers beside itself: a damaged one there brings up the box.
cp "$launcher" "$work/plain/talvesk"
cp "$launcher" "$work/box/talvesk"
echo "not a picture" >"$work/box/Zepsuta/1.jpg"

# start DISC: the launcher of that disc, with its box up for the box disc. False when it does not
# get there.
start() {
  xs_start_app "$work/$1" ./talvesk || return 1
  [ "$1" = plain ] || xs_wait_for_box
}

xs_start_xvfb "$work" || exit 1
for case in "TERM box" "INT box" "HUP box"; do
  read -r signal disc <<<"$case"
  if ! start "$disc"; then
    fail "$case: the launcher did not show its window or box"
  else
    kill -s "$signal" "$XS_APP_PID"
    if ! xs_await_exit "$XS_APP_PID" 10; then
      fail "$case: the launcher still runs a second after SIG$signal"
    elif XS_APP_PID="" && [ "$XS_STATUS" -ne 0 ] && [ "$XS_STATUS" -ne $((128 + $(kill -l "$signal"))) ]; then
      fail "$case: the launcher ended with status $XS_STATUS"
    fi
    # The X server drops the windows when it sees the connections close; a loaded machine may
    # take it a moment longer than the process's end.
    xs_wait_until 50 test "$(xs_window_count)" -eq 0 || fail "$case: a window stayed on the screen"
  fi
  [ -z "$XS_APP_PID" ] || xs_stop "$XS_APP_PID"
  XS_APP_PID=""
done

for disc in plain box; do
  [ -n "$XS_XVFB_PID" ] || xs_start_xvfb "$work" || exit 1
  if ! start "$disc"; then
    fail "dead X server, $disc: the launcher did not show its window or box"
  else
    xs_ends_with_x_server ||
      fail "dead X server, $disc: the launcher did not exit with status 1 within a second" \
        "(${XS_STATUS:-it still runs})"
  fi
  xs_cleanup
done

if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) failed" >&2
  exit 1
fi
echo PASSED
