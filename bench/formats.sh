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
. "$here/peers.sh"
[ -f "$inputs/screencast.gif" ] || { echo "no $inputs/screencast.gif (run compare.sh first)" >&2; exit 2; }

pillow() { [ -x "$py" ] && "$py" -c 'import PIL' 2>/dev/null; }
magick=$(command -v convert-im6.q16 || command -v convert || true)

if [ ! -f "$inputs/screencast.apng" ] || [ ! -f "$inputs/screencast.webp" ]; then
  has ffmpeg || { echo "ffmpeg is needed to make the inputs" >&2; exit 2; }
  ffmpeg -nostdin -v error -y -i "$inputs/screencast.gif" -plays 0 -f apng "$inputs/screencast.apng"
  ffmpeg -nostdin -v error -y -i "$inputs/screencast.gif" -c:v libwebp_anim -lossless 1 -loop 0 \
    "$inputs/screencast.webp"
fi


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
