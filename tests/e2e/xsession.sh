# Helpers for driving the real launcher in a private X server. Sourced by the end-to-end tests and
# by scripts/screenshot-demo.
#
# What makes this reliable: one Xvfb per run found through -displayfd; SDL told to use x11 so a
# lost display fails loudly instead of landing on an invisible driver; exactly one
# `xdotool search --sync` (many short-lived clients in a row make Xvfb drop connections);
# screenshots through xwd with a timeout, never a grab that could hang on a stale window.

XS_XVFB_PID=""
XS_APP_PID=""
XS_WID=""

# fail MESSAGE...: reports a failed check and counts it in `failures`; the test goes on.
failures=0
fail() {
  echo "FAILED: $*" >&2
  failures=$((failures + 1))
}

# xs_require TOOL...: ends the test, skipped (77) without Xvfb, failed without one of the tools.
xs_require() {
  if ! command -v Xvfb >/dev/null; then
    echo "SKIPPED: Xvfb is not installed (scripts/install-deps installs it)"
    exit 77
  fi
  local tool
  for tool in "$@"; do
    command -v "$tool" >/dev/null || { echo "FAILED: $tool is missing" >&2; exit 1; }
  done
}

# xs_wait_until TENTHS COMMAND...: runs COMMAND every tenth of a second until it succeeds; fails
# when it has not within TENTHS tries.
xs_wait_until() {
  local tries=$1 i
  shift
  for i in $(seq "$tries"); do
    "$@" && return 0
    sleep 0.1
  done
  return 1
}

# xs_gone PID: whether the process has ended.
xs_gone() { ! kill -0 "$1" 2>/dev/null; }

# xs_await_exit PID TENTHS: whether PID, a child of this shell, ends within TENTHS tenths of a
# second; its exit status is then in XS_STATUS.
xs_await_exit() {
  XS_STATUS=""
  xs_wait_until "$2" xs_gone "$1" || return 1
  wait "$1"
  XS_STATUS=$?
}

# xs_stop PID: TERM, then KILL if it has not gone within two seconds.
xs_stop() {
  kill "$1" 2>/dev/null || return 0
  xs_wait_until 20 xs_gone "$1" || kill -KILL "$1" 2>/dev/null || true
  wait "$1" 2>/dev/null || true
}

xs_cleanup() {
  [ -n "$XS_APP_PID" ] && xs_stop "$XS_APP_PID"
  [ -n "$XS_XVFB_PID" ] && xs_stop "$XS_XVFB_PID"
  XS_APP_PID=""
  XS_XVFB_PID=""
}

# xs_start_xvfb WORK_DIR [WIDTHxHEIGHT]: starts Xvfb (1024x768 by default) and exports DISPLAY.
# -noreset: root window properties set by short-lived clients (xprop) stay.
xs_start_xvfb() {
  local numfile=$1/display.num
  : >"$numfile"
  Xvfb -displayfd 3 -screen 0 "${2:-1024x768}x24" -nolisten tcp -noreset 3>"$numfile" \
    2>"$1/xvfb.log" &
  XS_XVFB_PID=$!
  local i
  for i in $(seq 100); do
    if [ -s "$numfile" ] && grep -q '^[0-9]\+$' "$numfile"; then
      export DISPLAY=":$(head -n1 "$numfile")"
      return 0
    fi
    kill -0 "$XS_XVFB_PID" 2>/dev/null || break
    sleep 0.1
  done
  echo "Xvfb did not start:" >&2
  cat "$1/xvfb.log" >&2
  return 1
}

# xs_start_app DIR PROGRAM [ENV...]: starts PROGRAM with DIR as current directory and waits for
# its window titled "Talvesk" (XS_START_SECONDS, default 15); sets XS_APP_PID and XS_WID.
xs_start_app() {
  local dir=$1 program=$2
  shift 2
  (cd "$dir" && exec env SDL_VIDEODRIVER=x11 "$@" "$program") &
  XS_APP_PID=$!
  XS_WID=$(timeout "${XS_START_SECONDS:-15}" xdotool search --sync --all --onlyvisible --pid "$XS_APP_PID" \
    --name '^Talvesk$' 2>/dev/null | head -n1) || true
  if [ -z "$XS_WID" ]; then
    echo "the launcher's window did not appear" >&2
    return 1
  fi
}

# xs_wait_for_box: waits about ten seconds for a message box over the launcher's window: without a
# window manager, the one other viewable top-level window (SDL shows it from a forked child); its
# id in XS_BOX.
xs_wait_for_box() {
  local id
  XS_BOX=""
  for _ in $(seq 40); do
    for id in $(xwininfo -root -children 2>/dev/null | awk '/^ +0x/ {print $1}'); do
      [ $((id)) -eq $((XS_WID)) ] && continue
      if xwininfo -id "$id" 2>/dev/null | grep -q 'Map State: IsViewable'; then
        XS_BOX=$id
        return 0
      fi
    done
    sleep 0.25
  done
  return 1
}

# xs_window_count: how many top-level windows are titled "Talvesk" (the launcher's, its box's).
xs_window_count() { xwininfo -root -children 2>/dev/null | grep -c '"Talvesk"'; }

# xs_ends_with_x_server: kills the X server under the launcher; whether the launcher then exits
# with status 1 within a second (XS_STATUS: how it ended, empty while it runs on).
xs_ends_with_x_server() {
  kill -KILL "$XS_XVFB_PID"
  wait "$XS_XVFB_PID" 2>/dev/null
  XS_XVFB_PID=""
  xs_await_exit "$XS_APP_PID" 10 && XS_APP_PID="" && [ "$XS_STATUS" -eq 1 ]
}

# xs_shot FILE.png: the launcher window's client area.
xs_shot() {
  timeout 5 xwd -silent -id "$XS_WID" >"$1.xwd" && convert "xwd:$1.xwd" "$1" && rm -f "$1.xwd"
}

# xs_count IMAGE WxH+X+Y FX: how many pixels of the region satisfy the fx expression (r, g, b in
# 0..1).
xs_count() {
  convert "$1" -crop "$2" +repage -fx "($3) ? 1 : 0" -format '%[fx:int(mean*w*h+0.5)]' info:
}

# xs_mean IMAGE WxH+X+Y: the region's mean colour as "R G B" in 0..255.
xs_mean() {
  convert "$1" -crop "$2" +repage -scale '1x1!' \
    -format '%[fx:int(255*r+0.5)] %[fx:int(255*g+0.5)] %[fx:int(255*b+0.5)]' info:
}

# xs_wait_for_shot FILE.png PREDICATE...: takes screenshots until PREDICATE FILE.png succeeds
# (the first frames may still be black); fails after about ten seconds.
xs_wait_for_shot() {
  local file=$1 i
  shift
  for i in $(seq 40); do
    if xs_shot "$file" && "$@" "$file"; then return 0; fi
    sleep 0.25
  done
  return 1
}

# xs_click X Y: a left click at client coordinates.
xs_click() {
  xdotool mousemove --window "$XS_WID" "$1" "$2" click --delay 0 1
}
