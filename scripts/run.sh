#!/bin/sh
# Builds and runs the full edition on the desktop: ./scripts/run.sh [image]
# Needs a display (X11, or Wayland with XWayland).
set -e
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j4 --target quillonpro
exec ./build/bin/quillonpro "$@"
