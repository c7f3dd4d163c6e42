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

# A display number nobody holds: Xvfb refuses one that is taken, so try a few.
xvfb_pid=
for ((n = 90 + RANDOM % 400, tries = 0; tries < 20; n++, tries++)); do
  [[ -e /tmp/.X$n-lock || -e /tmp/.X11-unix/X$n ]] && continue
  Xvfb ":$n" -screen 0 "${size}x24" -nolisten tcp -noreset >/dev/null 2>&1 &
  xvfb_pid=$!
  # Ready once it answers a client; gone at once when the display was taken.
  for ((waited = 0; waited < 600; waited++)); do
    kill -0 "$xvfb_pid" 2>/dev/null || break
    [[ -e /tmp/.X11-unix/X$n ]] && xprop -display ":$n" -root >/dev/null 2>&1 && break
    sleep 0.1
  done
  if kill -0 "$xvfb_pid" 2>/dev/null && xprop -display ":$n" -root >/dev/null 2>&1; then
    display=":$n"
    break
  fi
  kill "$xvfb_pid" 2>/dev/null
  wait "$xvfb_pid" 2>/dev/null
  xvfb_pid=
done
if [[ -z $xvfb_pid ]]; then
  echo "could not start Xvfb"
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
