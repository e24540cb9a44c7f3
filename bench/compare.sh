#!/bin/sh
# Times falorengif-cli against the tools people use instead, side by side, one
# run each, and prints wall time, peak memory, output size and our ratios.
#
#   bench/compare.sh [CLI]        CLI defaults to build/release/src/cli/falorengif-cli
#
# Inputs: FG_BENCH_DIR (default build/bench-inputs) must hold screencast.gif,
# video.gif, big.gif and folder/; when they are missing they are generated with
# ../shared/bench/gen_bench.py (needs python3-pil, ffmpeg and gifsicle).
# Peers, each when installed: ImageMagick (convert, mogrify), ffmpeg, Pillow.
# FG_BENCH_SKIP="imagemagick pillow" leaves peers out (ImageMagick on big.gif
# takes minutes). GNU time (/usr/bin/time) gives the peak memory.
set -eu

here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
cli=${1:-$root/build/release/src/cli/falorengif-cli}
inputs=${FG_BENCH_DIR:-$root/build/bench-inputs}
skip=${FG_BENCH_SKIP:-}
gen=$root/../shared/bench/gen_bench.py
py=/usr/bin/python3

[ -x "$cli" ] || { echo "no command-line front end at $cli (build it first)" >&2; exit 2; }
[ -x /usr/bin/time ] || { echo "GNU time is needed: apt-get install time" >&2; exit 2; }
. "$here/peers.sh"

skipped() { case " $skip " in *" $1 "*) return 0 ;; esac; return 1; }
pillow() { [ -x "$py" ] && "$py" -c 'import PIL' 2>/dev/null; }

mkdir -p "$inputs"
if [ ! -f "$inputs/screencast.gif" ] || [ ! -f "$inputs/video.gif" ] \
   || [ ! -f "$inputs/big.gif" ] || [ ! -d "$inputs/folder" ]; then
  if [ -f "$gen" ] && pillow && has ffmpeg && has gifsicle; then
    echo "generating the inputs in $inputs ..."
    # gen_bench.py writes beside itself: run a copy in the inputs folder.
    cp "$gen" "$inputs/gen_bench.py"
    "$py" "$inputs/gen_bench.py"
  else
    echo "inputs missing in $inputs and cannot generate them" >&2
    echo "(needs $gen, python3-pil, ffmpeg and gifsicle)" >&2
    exit 2
  fi
fi

cat > "$work/pillow_thumbs.py" <<'EOF'
import os, sys
from PIL import Image
src, out = sys.argv[1], sys.argv[2]
for name in sorted(os.listdir(src)):
    if not name.lower().endswith(".gif"):
        continue
    with Image.open(os.path.join(src, name)) as im:
        im = im.convert("RGBA")
        im.thumbnail((120, 120))
        canvas = Image.new("RGB", (120, 120), (255, 255, 255))
        canvas.paste(im, ((120 - im.width) // 2, (120 - im.height) // 2), im)
        canvas.save(os.path.join(out, name + ".png"))
EOF

row() { # tool
  printf '  %-12s %7.2f s %6s MB %8s MB %5s files  rc %s' "$1" "$wall" "$mem" "$size" "$files" "$rc"
}

printf 'Side by side, one run each, on %s (%s cores)\n' "$(uname -n)" "$(nproc)"
printf 'ratio = ours / theirs (time, peak memory, output size; below 1 is better)\n'

for name in screencast video big; do
  in="$inputs/$name.gif"
  echo
  echo "$name.gif -> PNG frames"
  measure "$work/ours" "$cli" export "$in" --to "$work/ours" --format png
  ours_wall=$wall; ours_mem=$mem; ours_size=$size
  row falorengif; echo
  if has ffmpeg && ! skipped ffmpeg; then
    measure "$work/peer" ffmpeg -nostdin -v error -i "$in" -fps_mode passthrough "$work/peer/f_%d.png"
    row ffmpeg
    echo "   ratio $(ratio "$ours_wall" "$wall") time, $(ratio "$ours_mem" "$mem") memory, $(ratio "$ours_size" "$size") size"
  fi
  if has convert && ! skipped imagemagick; then
    measure "$work/peer" env MAGICK_CONFIGURE_PATH="$work/magick" convert "$in" -coalesce "$work/peer/f_%d.png"
    row imagemagick
    echo "   ratio $(ratio "$ours_wall" "$wall") time, $(ratio "$ours_mem" "$mem") memory, $(ratio "$ours_size" "$size") size"
  fi
  if pillow && ! skipped pillow; then
    measure "$work/peer" "$py" "$work/pillow_frames.py" "$in" "$work/peer"
    row pillow
    echo "   ratio $(ratio "$ours_wall" "$wall") time, $(ratio "$ours_mem" "$mem") memory, $(ratio "$ours_size" "$size") size"
  fi
done

echo
echo "folder/ -> 120 x 120 thumbnails"
measure "$work/ours" "$cli" thumbs "$inputs/folder" --to "$work/ours"
ours_wall=$wall; ours_mem=$mem
row falorengif; echo
if pillow && ! skipped pillow; then
  measure "$work/peer" "$py" "$work/pillow_thumbs.py" "$inputs/folder" "$work/peer"
  row pillow
  echo "   ratio $(ratio "$ours_wall" "$wall") time, $(ratio "$ours_mem" "$mem") memory"
fi
if has mogrify && ! skipped imagemagick; then
  measure "$work/peer" env MAGICK_CONFIGURE_PATH="$work/magick" \
    mogrify -path "$work/peer" -format png -thumbnail '120x120' "$inputs/folder/*.gif[0]"
  row imagemagick
  echo "   ratio $(ratio "$ours_wall" "$wall") time, $(ratio "$ours_mem" "$mem") memory"
fi
