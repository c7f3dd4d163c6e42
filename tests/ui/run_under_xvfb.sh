#!/usr/bin/env bash
# Runs a program on a virtual X display with Qt's xcb platform. Exits 77
# (skipped) when xvfb-run is not installed.
if ! command -v xvfb-run >/dev/null 2>&1; then
  echo "xvfb-run not found: skipped"
  exit 77
fi
exec xvfb-run -a -s "-screen 0 1024x768x24" env QT_QPA_PLATFORM=xcb "$@"
