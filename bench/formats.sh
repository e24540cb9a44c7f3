#!/bin/sh
# Times falorengif-cli taking an animated PNG and an animated WebP apart into PNG
# frames, side by side with the tools people use instead, one run each: wall
# time, peak memory, output size and our ratios.
#
#   bench/formats.sh [CLI]        CLI defaults to build/release/src/cli/falorengif-cli
#
# Inputs: FG_BENCH_DIR (default build/bench-inputs) must hold screencast.gif (made
# by compare.sh or ../shared/bench/gen_bench.py); screencast.apng and
# screencast.webp are made from it with ffmpeg when missing:
#   ffmpeg -i screencast.gif -plays 0 -f apng screencast.apng
#   ffmpeg -i screencast.gif -c:v libwebp_anim -lossless 1 -loop 0 screencast.webp
# Peers, each when installed: APNG against ffmpeg and Pillow; WebP against
# Pillow and ImageMagick (ffmpeg cannot decode animated WebP).
set -eu

here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
cli=${1:-$root/build/release/src/cli/falorengif-cli}
inputs=${FG_BENCH_DIR:-$root/build/bench-inputs}
py=/usr/bin/python3

[ -x "$cli" ] || { echo "no command-line front end at $cli (build it first)" >&2; exit 2; }
[ -x /usr/bin/time ] || { echo "GNU time is needed: apt-get install time" >&2; exit 2; }
[ -f "$inputs/screencast.gif" ] || { echo "no $inputs/screencast.gif (run compare.sh first)" >&2; exit 2; }

has() { command -v "$1" >/dev/null 2>&1; }
pillow() { [ -x "$py" ] && "$py" -c 'import PIL' 2>/dev/null; }
magick=$(command -v convert-im6.q16 || command -v convert || true)

if [ ! -f "$inputs/screencast.apng" ] || [ ! -f "$inputs/screencast.webp" ]; then
  has ffmpeg || { echo "ffmpeg is needed to make the inputs" >&2; exit 2; }
  ffmpeg -nostdin -v error -y -i "$inputs/screencast.gif" -plays 0 -f apng "$inputs/screencast.apng"
  ffmpeg -nostdin -v error -y -i "$inputs/screencast.gif" -c:v libwebp_anim -lossless 1 -loop 0 \
    "$inputs/screencast.webp"
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT INT TERM

# ImageMagick's stock policy (256 MiB) makes it fail on these inputs: raise it.
mkdir -p "$work/magick"
cat > "$work/magick/policy.xml" <<'EOP'
<policymap>
  <policy domain="resource" name="memory" value="16GiB"/>
  <policy domain="resource" name="map" value="32GiB"/>
  <policy domain="resource" name="width" value="128KP"/>
  <policy domain="resource" name="height" value="128KP"/>
  <policy domain="resource" name="area" value="16GP"/>
  <policy domain="resource" name="disk" value="64GiB"/>
</policymap>
EOP

cat > "$work/pillow_frames.py" <<'EOP'
import sys
from PIL import Image, ImageSequence
src, out = sys.argv[1], sys.argv[2]
with Image.open(src) as im:
    for i, frame in enumerate(ImageSequence.Iterator(im)):
        frame.convert("RGBA").save(f"{out}/f_{i + 1}.png")
EOP

measure() { # OUTDIR COMMAND...: sets wall, mem (MB), size (MB), files, rc
  outdir=$1; shift
  rm -rf "$outdir"; mkdir -p "$outdir"
  rc=0
  /usr/bin/time -f "%e %M" -o "$work/time.txt" "$@" >/dev/null 2>"$work/stderr.txt" || rc=$?
  wall=$(tail -n 1 "$work/time.txt" | cut -d' ' -f1)
  mem=$(tail -n 1 "$work/time.txt" | awk '{ printf "%.0f", $2 / 1024 }')
  size=$(du -sb "$outdir" | awk '{ printf "%.2f", $1 / 1000000 }')
  files=$(find "$outdir" -type f | wc -l)
}

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2f", a / b; else printf "-" }'; }

row() {
  printf '  %-12s %7.2f s %6s MB %8s MB %5s files  rc %s' "$1" "$wall" "$mem" "$size" "$files" "$rc"
}
peer() { # NAME COMMAND...
  name=$1; shift
  measure "$work/peer" "$@"
  row "$name"
  echo "   ratio $(ratio "$ours_wall" "$wall") time, $(ratio "$ours_mem" "$mem") memory"
}

printf 'Side by side, one run each, on %s (%s cores, load %s)\n' "$(uname -n)" "$(nproc)" \
  "$(cut -d' ' -f1-3 /proc/loadavg)"
printf 'ratio = ours / theirs (time, peak memory; below 1 is better)\n'

for kind in apng webp; do
  in="$inputs/screencast.$kind"
  echo
  echo "screencast.$kind -> PNG frames"
  measure "$work/ours" "$cli" export "$in" --to "$work/ours" --format png --quiet
  ours_wall=$wall; ours_mem=$mem
  row falorengif; echo
  if [ "$kind" = apng ] && has ffmpeg; then
    peer ffmpeg ffmpeg -nostdin -v error -i "$in" -fps_mode passthrough "$work/peer/f_%d.png"
  fi
  if pillow; then
    peer pillow "$py" "$work/pillow_frames.py" "$in" "$work/peer"
  fi
  if [ "$kind" = webp ] && [ -n "$magick" ]; then
    peer imagemagick env MAGICK_CONFIGURE_PATH="$work/magick" "$magick" "$in" -coalesce "$work/peer/f_%d.png"
  fi
done
