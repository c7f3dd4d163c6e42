#!/usr/bin/env bash
# The lite edition as a person meets it on a desktop (run under
# tests/ui/run_under_xvfb.sh): it opens a run-length coded 256-colour BMP
# named on its command line and shows all of it; saving a photograph of
# more colours than GIF holds brings up the offer of the full edition.
# Screenshots of both are kept in OUTDIR.
#   lite_desktop_walkthrough.sh QUILLON OUTDIR
set -u
quillon=$1
out=$2
magick=/usr/bin/convert-im6.q16
for tool in xdotool import "$magick"; do
  command -v "$tool" >/dev/null 2>&1 || { echo "$tool not found: skipped"; exit 77; }
done

work=$(mktemp -d)
pid=
cleanup() {
  [[ -n $pid ]] && kill "$pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
fail() {
  echo "FAILED: $*"
  exit 1
}

# Pixels of the screen with exactly the colour $2 in screenshot $1.
count() { "$magick" "$1" -fill black +opaque "$2" -fill white -opaque "$2" -format '%[fx:round(mean*w*h)]' info:; }

# Waits (up to 30 s) for a visible window named exactly $1; prints its id.
window() {
  local id
  for _ in $(seq 150); do
    id=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -1)
    [[ -n $id ]] && { echo "$id"; return 0; }
    sleep 0.2
  done
  return 1
}

# Waits (up to $2 seconds, 30 by default) until the window named $1 has the
# keyboard, asking the window manager for it as long as it has not.
activate() {
  local id
  for _ in $(seq $((${2:-30} * 5))); do
    [[ $(xdotool getactivewindow getwindowname 2>/dev/null) == "$1" ]] && return 0
    id=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -1)
    [[ -n $id ]] && xdotool windowactivate "$id" >/dev/null 2>&1
    sleep 0.2
  done
  return 1
}

# Takes screenshots into $1 until at least $3 pixels have colour $2 (30 s).
shoot_until() {
  for _ in $(seq 60); do
    import -window root "$1" 2>/dev/null && (( $(count "$1" "$2") >= $3 )) && return 0
    sleep 0.5
  done
  return 1
}

# Two colour blocks of 80 x 120 in an RLE8 file, as ImageMagick writes it.
"$magick" -size 80x120 xc:'#3a7bd5' -size 80x120 xc:'#d5803a' +append -type Palette -compress RLE \
  BMP3:"$work/blocks.bmp" || fail "could not write the test BMP"
# A photograph-like picture of many colours.
"$magick" -seed 4 -size 200x150 plasma:fractal -type TrueColor BMP3:"$work/photo.bmp" ||
  fail "could not write the photograph"

# 1. The BMP named on the command line shows whole: nothing covers it.
"$quillon" "$work/blocks.bmp" &
pid=$!
window Quillon >/dev/null || fail "the lite edition's window did not appear"
shoot_until "$out/lite_desktop_image.png" '#3a7bd5' 9600 || fail "the blue block does not show whole"
(( $(count "$out/lite_desktop_image.png" '#d5803a') >= 9600 )) || fail "the orange block does not show whole"
kill "$pid"
wait "$pid" 2>/dev/null
pid=

# 2. Saving the photograph as GIF through File, Save As brings up the offer.
"$quillon" "$work/photo.bmp" &
pid=$!
window Quillon >/dev/null || fail "the lite edition's window did not appear"
# File, Save As from the keyboard; typed again should the menu not have
# opened in time on a busy machine.
for _ in 1 2 3; do
  activate Quillon || fail "the lite edition's window did not get the keyboard"
  xdotool key alt+f
  sleep 1
  xdotool key a
  activate 'Save As' 10 && break
done
activate 'Save As' || fail "the save dialog did not appear"
xdotool key Return
# The offer's memo is white and wider than the picture.
shoot_until "$out/lite_desktop_offer.png" '#ffffff' 40000 || fail "the offer did not show"
[[ -e $work/photo.gif ]] && fail "a GIF was written for an image of too many colours"
echo "screenshots: $out/lite_desktop_image.png $out/lite_desktop_offer.png"
exit 0
