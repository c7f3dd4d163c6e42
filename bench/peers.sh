#!/usr/bin/env bash
# Runs the product's main job (optimal palette of 256 colours, then the
# picture mapped onto it, dithered or not, then a GIF file) on three
# deterministic 4000 x 3000 pictures through Quillon, ImageMagick and
# pngquant, and prints side by side the wall time of each command, Quillon's
# time as a share of theirs, the peak memory, the size of
# the file written, and the quantisation error as PSNR in RGB against the
# original, plainly and after a Gaussian blur of sigma 1 on both images; for
# the flat graphic, whose 31 colours fit any 256-colour palette, also the
# number of pixels whose colour changed. Quillon and ImageMagick write GIF;
# pngquant can only write PNG, which the table says beside its figures.
# Quillon's GIFs are checked against the SHA-256 recorded below: a change
# that was meant to keep them byte for byte shows up as "CHANGED".
# The commands of a picture run in rounds, each command once a round, so
# that a machine whose speed drifts slows both sides of a ratio alike: a
# time is the median over the rounds, a ratio the median of the rounds'
# ratios.
#
#   bench/peers.sh [--rounds N] [--magick-only] [BUILD_DIR]
#
# N rounds, 3 by default; --magick-only leaves pngquant out.
#
# BUILD_DIR (default build-bench) is configured and built here with
# -DQUILLON_BENCH=ON -DCMAKE_BUILD_TYPE=Release when it has no reduce_job yet.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
rounds=3
tools="ours magick ours-nodither magick-nodither pngquant-s10 pngquant"
while [[ "${1:-}" == --* ]]; do
  case "$1" in
    --rounds) rounds="$2"; shift 2 ;;
    --magick-only) tools="ours magick ours-nodither magick-nodither"; shift ;;
    *) echo "peers.sh: unknown option $1"; exit 2 ;;
  esac
done
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

# run NAME COMMAND...: one run; its wall time is added to the list of NAME
# (times[NAME], one a round) and the peak resident set kept when larger.
declare -A times memory seconds
run() {
  local name="$1" t m
  shift
  /usr/bin/time -f "%e %M" -o "$work/time" "$@" >/dev/null 2>&1 || { echo "failed: $*"; exit 1; }
  read -r t m <"$work/time"
  times[$name]="${times[$name]:-} $t"
  if ((m > ${memory[$name]:-0})); then memory[$name]="$m"; fi
}

median() {  # the median of the numbers given
  printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

ratio() {  # the median over the rounds of A's time over B's
  local -a a=(${times[$1]}) b=(${times[$2]}) r=()
  local i
  for i in "${!a[@]}"; do r+=("$(awk -v x="${a[$i]}" -v y="${b[$i]}" 'BEGIN { print x / y }')"); done
  median "${r[@]}"
}

# SHA-256 of Quillon's GIFs of the three pictures, dithered and not.
declare -A recorded=(
  [photo-ours]=36d6267cad16e68c67cfb67ecca8187a8f369ced23176c63bfd7d7bb1c9b8af0
  [photo-ours-nodither]=93c534a447a1ee350b837c1e75dfd34f56e9188f50f683e6cabb26b8b6cb2666
  [fractal-ours]=1f0b3333621303a625ee0e8aeb90ab0dc9665e0daf9e27645c7eb3a4e34c5e87
  [fractal-ours-nodither]=3e9bf057e5be9be4a940a8e6361d37b45e71a96ad04f5555569650113e29c559
  [flat-ours]=14ea1ba635c1ae9623757ead16431947badd78fff5588a2a872d1515e87f7ed6
  [flat-ours-nodither]=14ea1ba635c1ae9623757ead16431947badd78fff5588a2a872d1515e87f7ed6
)
hashes=""

changed() {  # pixels of $2 whose colour differs from $1's
  "$compare" -metric AE "$1" "$2" null: 2>&1 | awk '{ print $1 }' || true
}

psnr() {  # PSNR of $2 against $1 in dB
  "$compare" -metric PSNR "$1" "$2" null: 2>&1 | awk '{ print $1 }' || true
}

printf '%-9s %-22s %8s %12s %9s %9s %8s %10s %10s\n' picture tool "time s" "ours/theirs" "peak MB" "file KB" "PSNR" \
  "PSNR blur" "changed px"
for picture in photo fractal flat; do
  in="$work/$picture.ppm"
  "$convert" "$in" "$work/$picture.png"
  "$convert" "$in" -gaussian-blur 0x1 "$work/$picture-blur.ppm"

  times=()
  memory=()
  for ((round = 0; round < rounds; ++round)); do
    for tool in $tools; do
      case "$tool" in
        ours) run ours "$job" "$in" "$work/ours.gif" ;;
        magick) run magick "$convert" "$in" -dither FloydSteinberg -colors 256 "$work/magick.gif" ;;
        ours-nodither) run ours-nodither "$job" "$in" "$work/ours-nodither.gif" --no-dither ;;
        magick-nodither) run magick-nodither "$convert" "$in" +dither -colors 256 "$work/magick-nodither.gif" ;;
        pngquant-s10) run pngquant-s10 pngquant --speed 10 --force --output "$work/pngquant-s10.png" 256 \
          "$work/$picture.png" ;;
        pngquant) run pngquant pngquant --force --output "$work/pngquant.png" 256 "$work/$picture.png" ;;
      esac
    done
  done
  for tool in "${!times[@]}"; do seconds[$tool]="$(median ${times[$tool]})"; done

  for tool in $tools; do
    out="$work/$tool.gif"
    label="$tool"
    [[ "$tool" == pngquant* ]] && out="$work/$tool.png" && label="$tool (PNG)"
    "$convert" "$out" -gaussian-blur 0x1 "$work/out-blur.ppm"
    case "$tool" in
      ours*) reference="" ;;
      magick-nodither) reference=ours-nodither ;;
      *) reference=ours ;;
    esac
    if [[ -n "$reference" ]]; then
      ratio="$(awk -v r="$(ratio "$reference" "$tool")" 'BEGIN { printf "%.2f (%.1fx)", r, 1 / r }')"
    else
      ratio="-"
    fi
    count="-"
    [[ "$picture" == flat ]] && count="$(changed "$in" "$out")"
    printf '%-9s %-22s %8s %12s %9.1f %9.1f %8s %10s %10s\n' "$picture" "$label" "${seconds[$tool]}" "$ratio" \
      "$(awk -v k="${memory[$tool]}" 'BEGIN { print k / 1024 }')" \
      "$(awk -v b="$(stat -c %s "$out")" 'BEGIN { print b / 1024 }')" \
      "$(psnr "$in" "$out")" "$(psnr "$work/$picture-blur.ppm" "$work/out-blur.ppm")" "$count"
    if [[ "$tool" == ours* ]]; then
      sum="$(sha256sum "$out" | awk '{ print $1 }')"
      if [[ "$sum" == "${recorded[$picture-$tool]}" ]]; then
        hashes+="$picture $tool: as recorded"$'\n'
      else
        hashes+="$picture $tool: CHANGED ($sum)"$'\n'
      fi
    fi
    rm -f "$work/out-blur.ppm"
  done
  rm -f "$work"/ours*.gif "$work"/magick*.gif "$work"/pngquant*.png
done
printf '\nQuillon GIF bytes against the recorded SHA-256:\n%s' "$hashes"
