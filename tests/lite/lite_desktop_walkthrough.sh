#!/usr/bin/env bash
# The lite edition as a person meets it on a desktop (run under
# tests/ui/run_under_xvfb.sh): it opens a run-length coded 256-colour BMP
# named on its command line and shows all of it; saving it over a GIF that
# is there asks first, and No keeps that GIF; a picture larger than the
# window scrolls by the wheel and the keys; saving a photograph of more
# colours than GIF holds brings up the offer of the full edition, and "Yes"
# hands the file over to it, a BMP with the 124-byte header other programs
# write by default included. Screenshots are kept in OUTDIR. Every step
# waits, by condition and never by time, for what must receive its input
# (the window the desktop gives the keyboard to, the drop-down menu showing
# its items) and for what its input does.
#   lite_desktop_walkthrough.sh QUILLON OUTDIR
set -u
quillon=$1
out=$2
magick=/usr/bin/convert-im6.q16
for tool in xdotool import "$magick"; do
  command -v "$tool" >/dev/null 2>&1 || { echo "$tool not found: skipped"; exit 77; }
done

work=$(mktemp -d)
export XDG_CONFIG_HOME=$work/config
pid=
full=
cleanup() {
  [[ -n $pid ]] && kill "$pid" 2>/dev/null
  [[ -n $full ]] && kill "$full" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
# Ends the lite edition started last.
stop() {
  kill "$pid"
  wait "$pid" 2>/dev/null
  pid=
}
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

# Waits (up to 30 s) until the desktop gives the keyboard to a window named
# exactly $1 other than window $2 (a question over a dialog of that name).
activate_other() {
  local id
  for _ in $(seq 150); do
    id=$(xdotool getactivewindow 2>/dev/null)
    [[ -n $id && $id != "$2" && $(xdotool getwindowname "$id" 2>/dev/null) == "$1" ]] && return 0
    sleep 0.2
  done
  return 1
}

# Waits (up to 30 s) until a drop-down menu of the lite edition is mapped and
# shows its items: a light ground with dark letters.
menu_shows() {
  local m name region light dark
  for _ in $(seq 60); do
    for m in $(xdotool search --onlyvisible --pid "$pid" 2>/dev/null); do
      # Untitled: the desktop names it after the program.
      name=$(xdotool getwindowname "$m" 2>/dev/null)
      [[ -z $name || $name == quillon ]] || continue
      eval "$(xdotool getwindowgeometry --shell "$m" 2>/dev/null)" || continue
      (( WIDTH > 60 && WIDTH < 500 && HEIGHT > 30 && HEIGHT < 700 )) || continue
      import -window root "$work/menu.png" 2>/dev/null || continue
      region=${WIDTH}x${HEIGHT}+${X}+${Y}
      light=$("$magick" "$work/menu.png" -crop "$region" -colorspace gray -threshold 70% -format '%[fx:round(mean*w*h)]' info:)
      dark=$("$magick" "$work/menu.png" -crop "$region" -colorspace gray -negate -threshold 65% \
        -format '%[fx:round(mean*w*h)]' info:)
      (( light * 2 > WIDTH * HEIGHT && dark >= 15 )) && return 0
    done
    sleep 0.5
  done
  return 1
}

# Waits (up to 30 s) until $2 visible windows are named exactly $1.
windows() {
  for _ in $(seq 150); do
    (( $(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | wc -l) == $2 )) && return 0
    sleep 0.2
  done
  return 1
}

# The colour of the screen's pixel ($2, $3) in screenshot $1, as #rrggbb.
pixel() { "$magick" "$1" -format "%[hex:p{$2,$3}]" info: | sed 's/^/#/; s/^\(#......\).*/\1/' | tr 'A-F' 'a-f'; }

# Takes screenshots into $1 until the screen's pixel ($2, $3) is $4 (30 s).
shoot_until_pixel() {
  for _ in $(seq 60); do
    import -window root "$1" 2>/dev/null && [[ $(pixel "$1" "$2" "$3") == "$4" ]] && return 0
    sleep 0.5
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

# 1. The BMP named on the command line shows whole: nothing covers it.
"$quillon" "$work/blocks.bmp" &
pid=$!
window Quillon >/dev/null || fail "the lite edition's window did not appear"
shoot_until "$out/lite_desktop_image.png" '#3a7bd5' 9600 || fail "the blue block does not show whole"
(( $(count "$out/lite_desktop_image.png" '#d5803a') >= 9600 )) || fail "the orange block does not show whole"
stop

# File, Save As from the keyboard, the item typed once the menu shows.
save_as() {
  activate Quillon || fail "the lite edition's window did not get the keyboard"
  xdotool key alt+f
  menu_shows || fail "the File menu did not show"
  xdotool key a
  activate 'Save As'
}

# 2. Saving over a GIF that is there asks first: No keeps the GIF (and the
# dialog, which Escape closes).
printf 'GIF89a-old' >"$work/blocks.gif"
"$quillon" "$work/blocks.bmp" &
pid=$!
window Quillon >/dev/null || fail "the lite edition's window did not appear"
save_as || fail "the save dialog did not appear"
dialog=$(xdotool getactivewindow)
xdotool key Return
windows 'Save As' 2 || fail "no question before replacing blocks.gif"
activate_other 'Save As' "$dialog" || fail "the question did not get the keyboard"
import -window root "$out/lite_desktop_replace_question.png"
xdotool key alt+n
windows 'Save As' 1 || fail "No did not go back to the dialog"
activate 'Save As' || fail "the save dialog did not get the keyboard back"
xdotool key Escape
windows 'Save As' 0 || fail "the save dialog did not close"
[[ $(cat "$work/blocks.gif") == GIF89a-old ]] || fail "blocks.gif was replaced though No was answered"
stop

# 3. A picture larger than the window: the wheel over it scrolls it, and
# so do the keys (the picture has the keyboard from the start).
"$magick" -size 900x350 xc:'#3a7bd5' -size 900x350 xc:'#d5803a' -append -type TrueColor BMP3:"$work/large.bmp" ||
  fail "could not write the large BMP"
"$quillon" "$work/large.bmp" &
pid=$!
id=$(window Quillon) || fail "the lite edition's window did not appear"
activate Quillon || fail "the lite edition's window did not get the keyboard"
eval "$(xdotool getwindowgeometry --shell "$id")"
probe_x=$((X + 100)) probe_y=$((Y + 120))
xdotool mousemove --sync "$probe_x" "$probe_y"
xdotool click --repeat 15 5
shoot_until_pixel "$out/lite_desktop_wheel.png" "$probe_x" "$probe_y" '#d5803a' ||
  fail "the wheel did not scroll the picture"
activate Quillon || fail "the lite edition's window did not keep the keyboard"
xdotool key Home
shoot_until_pixel "$out/lite_desktop_home.png" "$probe_x" "$probe_y" '#3a7bd5' || fail "Home did not scroll back"
activate Quillon || fail "the lite edition's window did not keep the keyboard"
xdotool key End
shoot_until_pixel "$out/lite_desktop_end.png" "$probe_x" "$probe_y" '#d5803a' || fail "End did not scroll down"
stop

# 4. Saving a picture of more colours than GIF holds through File, Save As
# brings up the offer of the full edition; "Yes! I want to try Quillon Pro."
# (the offer's default button) starts it on the file, and it shows the
# picture there, at the top left of its window, not a box.
#   offer_and_hand_over FILE NAME
offer_and_hand_over() {
  "$quillon" "$1" &
  pid=$!
  window Quillon >/dev/null || fail "the lite edition's window did not appear"
  save_as || fail "the save dialog did not appear"
  xdotool key Return
  # The offer's memo is white and wider than the picture.
  shoot_until "$out/lite_desktop_offer_$2.png" '#ffffff' 40000 || fail "the offer did not show for $2"
  [[ -e ${1%.bmp}.gif ]] && fail "a GIF was written for an image of too many colours"
  activate Quillon || fail "the lite edition's window did not get the keyboard back"
  xdotool key Return
  local id shown=
  id=$(window 'Quillon Pro') || fail "the full edition did not start on $2"
  full=$(xdotool getwindowpid "$id")
  eval "$(xdotool getwindowgeometry --shell "$id")"
  for _ in $(seq 60); do
    import -window root "$out/lite_desktop_handover_$2.png" 2>/dev/null || continue
    xdotool search --onlyvisible --name '^Quillon Pro version 2.5$' >/dev/null 2>&1 && break
    local c
    c=$(pixel "$out/lite_desktop_handover_$2.png" $((X + 30)) $((Y + 70)))
    [[ $c != '#808080' && $c != '#c0c0c0' && $c != '#000000' ]] && { shown=1; break; }
    sleep 0.5
  done
  kill "$full"
  wait "$full" 2>/dev/null
  full=
  stop
  [[ -n $shown ]] || fail "the full edition did not show the file handed over ($2)"
}

"$magick" -seed 4 -size 200x150 plasma:fractal -type TrueColor BMP3:"$work/photo.bmp" ||
  fail "could not write the photograph"
offer_and_hand_over "$work/photo.bmp" photo
# The BMPs other programs write by default (108- and 124-byte headers, as
# ImageMagick's "convert rose: rose.bmp") are handed over the same way.
"$magick" rose: "$work/rose.bmp" || fail "could not write the rose"
offer_and_hand_over "$work/rose.bmp" rose
echo "screenshots: $out/lite_desktop_*.png"
exit 0
