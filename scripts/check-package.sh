#!/usr/bin/env bash
# Checks what a person installs, from a build folder (default: build):
# - builds the Debian package (cpack -G DEB), checks its Depends, unpacks it
#   with dpkg -x into a scratch root and validates its desktop entries;
# - installs with cmake --install into another prefix under DESTDIR;
# - in both trees starts each edition headless through its link in bin/ on
#   an image, with QUILLON_INSTALL_CHECK set: each reports what it found in
#   its program folder (tips, help page, icons, the TWAIN source manager, the
#   full edition for the lite one, every glyph from the icon theme) and
#   fails when something is missing; the scanning program twain_sane must
#   be beside them where the build scans through SANE.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$(cd "${1:-$root/build}" && pwd)"
scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
fail() { echo "package check: $*" >&2; exit 1; }

echo "-- Debian package"
rm -f "$build"/quillon_*.deb
(cd "$build" && cpack -G DEB >"$scratch/cpack.log" 2>&1) || { cat "$scratch/cpack.log"; fail "cpack failed"; }
deb="$(ls "$build"/quillon_*.deb)"
depends="$(dpkg-deb -f "$deb" Depends)"
echo "Depends: $depends"
for p in libqt6widgets6 libqt6gui6 libjpeg62-turbo libpng16-16 libfontconfig1 libfreetype6 breeze-icon-theme \
         libqt6svg6 xdg-utils; do
  grep -qE "(^|, )$p( |,|$)" <<<"$depends" || fail "Depends lacks $p"
done
dpkg-deb -x "$deb" "$scratch/deb"
desktop-file-validate "$scratch/deb/usr/share/applications/"*.desktop || fail "desktop entries do not validate"
[[ -s $scratch/deb/usr/share/doc/quillon/copyright ]] || fail "no /usr/share/doc/quillon/copyright"
grep -qE "(^| )www-browser( |,|$)" <<<"$(dpkg-deb -f "$deb" Recommends)" || fail "Recommends lacks a web browser"
# The desktop opens BMP and GIF files (which both editions read) with the
# full edition.
update-desktop-database "$scratch/deb/usr/share/applications"
for type in image/bmp image/gif image/png; do
  handler="$(XDG_DATA_DIRS="$scratch/deb/usr/share" XDG_CONFIG_HOME="$scratch/cfg" XDG_DATA_HOME="$scratch/data" \
             HOME="$scratch" XDG_CURRENT_DESKTOP= xdg-mime query default "$type")"
  [[ $handler == quillonpro.desktop ]] || fail "the desktop opens $type with '$handler', not the full edition"
done
for e in quillonpro quillon; do
  grep -q "^Exec=$e %f$" "$scratch/deb/usr/share/applications/$e.desktop" || fail "$e.desktop: Exec"
  for s in 16 32 48 256; do
    [[ -f $scratch/deb/usr/share/icons/hicolor/${s}x$s/apps/$e.png ]] || fail "no $s px icon of $e"
  done
done

echo "-- cmake --install with DESTDIR and a prefix of its own"
DESTDIR="$scratch/destdir" cmake --install "$build" --prefix /opt/quillon >/dev/null

/usr/bin/convert-im6.q16 -size 96x64 gradient:navy-orange "$scratch/picture.png"
/usr/bin/convert-im6.q16 -size 96x64 gradient:white-green -type TrueColor BMP3:"$scratch/picture.bmp"

# Starts an installed program through its link with the install check on;
# its report goes to $out.
start() {  # start <bin folder> <program> <image>
  [[ -L $1/$2 ]] || fail "$1/$2 is not a link"
  echo "-- $1/$2"
  out="$(QUILLON_INSTALL_CHECK=1 QT_QPA_PLATFORM=offscreen XDG_CONFIG_HOME="$scratch/config" \
         "$1/$2" "$3" 2>/dev/null)" || { echo "$out"; fail "$2"; }
  echo "$out"
  grep -qx "ok      program folder: ${1%/bin}/lib/quillon/" <<<"$out" || fail "$2's program folder"
}
check() {  # check <installed root> <prefix>
  local tree="$1$2"
  # SANE's drivers run in the source manager's scanning program, beside it.
  if grep -q '^QUILLON_TWAIN_SANE:INTERNAL=1' "$build/CMakeCache.txt"; then
    [[ -x $tree/lib/quillon/twain_sane ]] || fail "no scanning program $tree/lib/quillon/twain_sane"
  fi
  start "$tree/bin" quillonpro "$scratch/picture.png"
  for picture in $(grep -o 'src="[^"]*"' "$tree/lib/quillon/register/help.htm" | cut -d'"' -f2); do
    [[ -f $tree/lib/quillon/register/$picture ]] || fail "the help page's picture $picture is missing"
  done
  start "$tree/bin" quillon "$scratch/picture.bmp"
  grep -qx "ok      full edition: $tree/lib/quillon/quillonpro" <<<"$out" || fail "quillon does not find the full edition"
}
check "$scratch/deb" /usr
check "$scratch/destdir" /opt/quillon
echo "package check passed"
