#!/usr/bin/env bash
# Runs a program on a virtual X desktop: Xvfb at 1280x1024x24 with the openbox
# window manager, Qt on its xcb platform. The program sees DISPLAY set and may
# drive the desktop with xdotool and take screenshots with import.
# Exits 77 (skipped) when Xvfb, openbox or xprop is not installed. It waits
# for the server and the window manager to be ready, not for a time: on a
# loaded machine they may take many seconds (the limits only catch a start
# that never ends).
#   run_under_xvfb.sh [--size WxH] PROGRAM [ARGS...]
set -u
size=1280x1024
if [[ ${1:-} == --size ]]; then size=$2; shift 2; fi
for tool in Xvfb openbox xprop; do
  if ! command -v "$tool" >/dev/null 2>&1; then
    echo "$tool not found: skipped"
    exit 77
  fi
done

# The server takes the first display number nobody holds (its own lock
# decides, so servers started at once never share one) and writes it to
# the given descriptor once clients can connect.
number_file=$(mktemp)
Xvfb -displayfd 3 -screen 0 "${size}x24" -nolisten tcp -noreset 3>"$number_file" >/dev/null 2>&1 &
xvfb_pid=$!
for ((waited = 0; waited < 600; waited++)); do
  grep -q '^[0-9][0-9]*$' "$number_file" 2>/dev/null && break
  kill -0 "$xvfb_pid" 2>/dev/null || break
  sleep 0.1
done
display=:$(head -n 1 "$number_file" 2>/dev/null)
rm -f "$number_file"
if [[ $display == : ]] || ! kill -0 "$xvfb_pid" 2>/dev/null; then
  echo "could not start Xvfb"
  kill "$xvfb_pid" 2>/dev/null
  exit 1
fi
export DISPLAY=$display

wm_home=$(mktemp -d)
HOME=$wm_home openbox >/dev/null 2>&1 &
wm_pid=$!
cleanup() {
  kill "$wm_pid" 2>/dev/null
  kill "$xvfb_pid" 2>/dev/null
  wait "$wm_pid" "$xvfb_pid" 2>/dev/null
  rm -rf "$wm_home"
}
trap cleanup EXIT
# openbox owns the desktop once it has set _NET_SUPPORTING_WM_CHECK; a
# program started before that would meet a desktop without a window manager.
wm_ready=
for ((waited = 0; waited < 600; waited++)); do
  if xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'; then
    wm_ready=1
    break
  fi
  kill -0 "$wm_pid" 2>/dev/null || break
  sleep 0.1
done
if [[ -z $wm_ready ]]; then
  echo "openbox did not take the desktop"
  exit 1
fi

QT_QPA_PLATFORM=xcb "$@"
