#!/usr/bin/env bash
# Makes the help page's pictures (desktop/program/register/*.png) from the
# full edition of a build on a virtual desktop (Xvfb with openbox), driven
# with xdotool and shot with ImageMagick's import:
#   desktop/help-pictures.sh [build folder]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$(cd "${1:-$root/build}" && pwd)"
if [[ -z ${QUILLON_HELP_PICTURES:-} ]]; then
  QUILLON_HELP_PICTURES=1 exec "$root/tests/ui/run_under_xvfb.sh" "$0" "$build"
fi
out="$root/desktop/program/register"
work="$(mktemp -d)"
pid=
cleanup() {
  [[ -n $pid ]] && kill "$pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
export XDG_CONFIG_HOME="$work/config"

# A window by its exact title, once it is shown (empty after 5 s).
window() {
  local id
  for _ in $(seq 50); do
    id="$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -1 || true)"
    [[ -n $id ]] && { echo "$id"; return; }
    sleep 0.1
  done
}
# Presses keys in window $1 until a window titled $3 shows; prints its id.
open_with() {
  local id
  for _ in 1 2 3; do
    xdotool windowactivate "$1" 2>/dev/null || true
    sleep 0.3
    xdotool key --clearmodifiers "$2"
    id="$(window "$3")"
    [[ -n $id ]] && { echo "$id"; return; }
  done
  echo "no window \"$3\"" >&2
  exit 1
}
# Shoots a window with the frame openbox draws around it.
shot() {
  sleep 0.7
  import -frame -window "$1" "$out/$2"
  pngquant --force --skip-if-larger --output "$out/$2" 256 "$out/$2" || true
  echo "$out/$2"
}

# The sample: a plasma of many colours, the same every time.
/usr/bin/convert-im6.q16 -seed 19 -size 360x240 plasma:gold-navy "$work/sample.png"
"$build/bin/quillonpro" "$work/sample.png" &
pid=$!
main="$(window "Quillon Pro")"
[[ -n $main ]] || { echo "the main window did not show" >&2; exit 1; }
xdotool windowsize "$main" 760 480
shot "$main" main.png

preview="$(open_with "$main" ctrl+p "Preview Color Reduction")"
sleep 3
xdotool windowsize "$preview" 760 400
shot "$preview" preview.png
xdotool windowactivate "$preview" 2>/dev/null; sleep 0.3; xdotool key alt+F4
sleep 1

tips="$(open_with "$main" F2 "Quillon Pro - Tips")"
shot "$tips" tips.png
xdotool windowactivate "$tips" 2>/dev/null; sleep 0.3; xdotool key alt+F4
sleep 1

xdotool windowactivate "$main" 2>/dev/null; sleep 0.3; xdotool key ctrl+x
wait "$pid" || true
pid=
