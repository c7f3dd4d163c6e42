#!/usr/bin/env bash
# Builds Quillon and runs every test: the whole suite in a normal build, then
# the core tests and the fuzz corpora under AddressSanitizer and
# UndefinedBehaviorSanitizer. Exits non-zero on any failure.
set -uo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
jobs="$(nproc)"
export QT_QPA_PLATFORM=offscreen

"$root/scripts/install-deps.sh" || { echo "dependency installation failed"; exit 1; }

status=0
run() { echo "+ $*"; "$@" || status=1; }

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null || exit 1
cmake --build build -j"$jobs" || exit 1
echo "== tests =="
run ctest --test-dir build --output-on-failure -j"$jobs" --timeout 300
echo "== Debian package and installed trees =="
run "$root/scripts/check-package.sh" build

cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DQUILLON_SANITIZE=ON >/dev/null || exit 1
cmake --build build-asan -j"$jobs" || exit 1
echo "== sanitizer tests (core, fuzz) =="
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
run ctest --test-dir build-asan --output-on-failure -j"$jobs" --timeout 600 -L '^(base|core|formats|gif|fuzz)$'

if ((status)); then echo "FAILED"; else echo "ALL TESTS PASSED"; fi
exit $status
