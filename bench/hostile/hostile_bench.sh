#!/usr/bin/env bash
# Time and peak memory of every file of the hostile-file set, each loaded in
# a process of its own through the path its case names (see
# tests/hostile/make_hostile_files.py), beside the budget the test allows.
#
#   bench/hostile/hostile_bench.sh [BUILD_DIR]
#
# BUILD_DIR (default build) must have the tests built (hostile_load).
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
build="${1:-$root/build}"
cmake --build "$build" -j4 --target hostile_load hostile_load_pro >/dev/null
folder="$(mktemp -d)"
trap 'rm -rf "$folder"' EXIT
/usr/bin/python3 "$root/tests/hostile/run_hostile_files.py" --report \
  "$build/tests/hostile/hostile_load" "$build/tests/hostile/hostile_load_pro" "$folder"
