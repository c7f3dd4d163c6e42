#!/usr/bin/env bash
# Runs the product's main job (optimal palette of 256 colours, then the
# picture mapped onto it, dithered or not, then a GIF file) on three
# deterministic 4000 x 3000 pictures through Quillon, ImageMagick and
# pngquant, and prints side by side the wall time of each command (best of
# three), Quillon's time as a share of theirs, the peak memory, the size of
# the file written, and the quantisation error as PSNR in RGB against the
# original, plainly and after a Gaussian blur of sigma 1 on both images.
# Quillon and ImageMagick write GIF; pngquant can only write PNG, which the
# table says beside its figures.
#
#   bench/peers.sh [BUILD_DIR]
#
# BUILD_DIR (default build-bench) is configured and built here with
# -DQUILLON_BENCH=ON -DCMAKE_BUILD_TYPE=Release when it has no reduce_job yet.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$root/build-bench}"
job="$build/bench/reduce/reduce_job"
if [[ ! -x "$job" ]]; then
  cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DQUILLON_BENCH=ON -DQUILLON_TESTS=OFF >/dev/null
  cmake --build "$build" -j4 --target reduce_job >/dev/null
fi
# ImageMagick by its full path: the first convert on PATH may be a stand-in.
convert=/usr/bin/convert-im6.q16
compare=/usr/bin/compare-im6.q16
for tool in "$convert" "$compare" pngquant /usr/bin/time; do
  command -v "$tool" >/dev/null || { echo "peers.sh: $tool is missing (scripts/test.sh installs it)"; exit 1; }
done

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
"$job" pictures "$work"

# run NAME COMMAND...: best wall time of three runs (one when the first takes
# more than five seconds) and the peak resident set.
declare -A seconds memory
run() {
  local name="$1" best="" peak=0 t m
  shift
  for _ in 1 2 3; do
    /usr/bin/time -f "%e %M" -o "$work/time" "$@" >/dev/null 2>&1 || { echo "failed: $*"; exit 1; }
    read -r t m <"$work/time"
    if [[ -z "$best" ]] || awk -v a="$t" -v b="$best" 'BEGIN { exit !(a < b) }'; then best="$t"; fi
    if ((m > peak)); then peak="$m"; fi
    awk -v a="$t" 'BEGIN { exit !(a > 5) }' && break
  done
  seconds[$name]="$best"
  memory[$name]="$peak"
}

psnr() {  # PSNR of $2 against $1 in dB
  "$compare" -metric PSNR "$1" "$2" null: 2>&1 | awk '{ print $1 }' || true
}

printf '%-9s %-22s %8s %12s %9s %9s %8s %10s\n' picture tool "time s" "ours/theirs" "peak MB" "file KB" "PSNR" \
  "PSNR blur"
for picture in photo fractal flat; do
  in="$work/$picture.ppm"
  "$convert" "$in" "$work/$picture.png"
  "$convert" "$in" -gaussian-blur 0x1 "$work/$picture-blur.ppm"

  run ours          "$job" "$in" "$work/ours.gif"
  run ours-nodither "$job" "$in" "$work/ours-nodither.gif" --no-dither
  run magick        "$convert" "$in" -dither FloydSteinberg -colors 256 "$work/magick.gif"
  run magick-nodither "$convert" "$in" +dither -colors 256 "$work/magick-nodither.gif"
  run pngquant-s10  pngquant --speed 10 --force --output "$work/pngquant-s10.png" 256 "$work/$picture.png"
  run pngquant      pngquant --force --output "$work/pngquant.png" 256 "$work/$picture.png"

  for tool in ours ours-nodither magick magick-nodither pngquant-s10 pngquant; do
    out="$work/$tool.gif"
    label="$tool"
    [[ "$tool" == pngquant* ]] && out="$work/$tool.png" && label="$tool (PNG)"
    "$convert" "$out" -gaussian-blur 0x1 "$work/out-blur.ppm"
    case "$tool" in
      ours*) reference="" ;;
      magick-nodither) reference="${seconds[ours-nodither]}" ;;
      *) reference="${seconds[ours]}" ;;
    esac
    if [[ -n "$reference" ]]; then
      ratio="$(awk -v a="$reference" -v b="${seconds[$tool]}" 'BEGIN { printf "%.2f (%.1fx)", a / b, b / a }')"
    else
      ratio="-"
    fi
    printf '%-9s %-22s %8s %12s %9.1f %9.1f %8s %10s\n' "$picture" "$label" "${seconds[$tool]}" "$ratio" \
      "$(awk -v k="${memory[$tool]}" 'BEGIN { print k / 1024 }')" \
      "$(awk -v b="$(stat -c %s "$out")" 'BEGIN { print b / 1024 }')" \
      "$(psnr "$in" "$out")" "$(psnr "$work/$picture-blur.ppm" "$work/out-blur.ppm")"
    rm -f "$work/out-blur.ppm"
  done
  rm -f "$work"/ours*.gif "$work"/magick*.gif "$work"/pngquant*.png
done
