#!/bin/sh
# Times falorengif-cli putting frames back together (`animate` to GIF, WebP and
# APNG; `sheet`) side by side with the tools people use for it, one run each,
# the peers given the same composited frames (exported by `export --pad`):
# processor time (user + system), wall time, peak memory and bytes written.
#
#   bench/rebuild.sh [CLI]        CLI defaults to build/release/src/cli/falorengif-cli
#
# Inputs: FG_BENCH_DIR (default build/bench-inputs) holding screencast.gif and
# big.gif (../shared/bench/gen_bench.py makes them). Peers, each when
# installed: gifsicle, img2webp, apngasm, ffmpeg, ImageMagick's montage.
set -eu

here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
cli=${1:-$root/build/release/src/cli/falorengif-cli}
inputs=${FG_BENCH_DIR:-$root/build/bench-inputs}

[ -x "$cli" ] || { echo "no command-line front end at $cli (build it first)" >&2; exit 2; }
[ -x /usr/bin/time ] || { echo "GNU time is needed: apt-get install time" >&2; exit 2; }
. "$here/peers.sh"

# run NAME OUTFILE COMMAND...: one run; prints processor and wall time, peak
# memory and the size of OUTFILE (all files OUTFILE* together).
run() {
  name=$1; out=$2; shift 2
  rm -f "$out"*
  rc=0
  /usr/bin/time -f "%U %S %e %M" -o "$work/time.txt" "$@" >/dev/null 2>"$work/stderr.txt" || rc=$?
  set -- $(tail -n 1 "$work/time.txt")
  bytes=$(cat "$out"* 2>/dev/null | wc -c)
  printf '  %-26s cpu %6.2f s  wall %6.2f s  %6.0f MB  %10s B  rc %s\n' "$name" \
    "$(awk -v u="$1" -v s="$2" 'BEGIN { print u + s }')" "$3" "$(awk -v k="$4" 'BEGIN { print k / 1024 }')" \
    "$bytes" "$rc"
}

printf 'Side by side, one run each, on %s (%s cores, load %s)\n' "$(uname -n)" "$(nproc)" \
  "$(cut -d' ' -f1-3 /proc/loadavg)"

for base in screencast big; do
  in="$inputs/$base.gif"
  [ -f "$in" ] || { echo "no $in: skipped"; continue; }
  frames="$work/frames-$base"
  mkdir -p "$frames/gif" "$frames/png"
  "$cli" export "$in" --to "$frames/gif" --format gif --pad --quiet
  "$cli" export "$in" --to "$frames/png" --format png --pad --quiet
  # Played delays in hundredths, one per frame, for the peers.
  delays=$("$cli" info "$in" --json | awk -F'"playedMs":' 'NF > 1 { for (i = 2; i <= NF; i++) { split($i, v, /[,}]/); printf "%d ", v[1] / 10 } }')
  echo
  echo "$base.gif ($(ls "$frames/png" | wc -l) frames) to GIF"
  run falorengif "$work/ours.gif" "$cli" animate "$in" --to "$work/ours.gif"
  if has gifsicle; then
    set --
    i=0
    for f in $(ls "$frames/gif" | sort -V); do
      i=$((i + 1))
      d=$(echo "$delays" | cut -d' ' -f$i)
      set -- "$@" -d"$d" "$frames/gif/$f"
    done
    run "gifsicle -O3 --merge" "$work/gifsicle.gif" gifsicle -O3 --merge -l0 "$@" -o "$work/gifsicle.gif"
  fi
  [ "$base" = screencast ] || continue

  echo "$base.gif to WebP (lossless)"
  run falorengif "$work/ours.webp" "$cli" animate "$in" --to "$work/ours.webp"
  if has img2webp; then
    set -- -loop 0 -lossless
    i=0
    for f in $(ls "$frames/png" | sort -V); do
      i=$((i + 1))
      d=$(echo "$delays" | cut -d' ' -f$i)
      set -- "$@" -d "$((d * 10))" "$frames/png/$f"
    done
    run "img2webp -lossless" "$work/img2webp.webp" img2webp "$@" -o "$work/img2webp.webp"
  fi

  echo "$base.gif to APNG"
  run falorengif "$work/ours.apng" "$cli" animate "$in" --to "$work/ours.apng"
  if has apngasm; then
    d=$(echo "$delays" | cut -d' ' -f1)
    run apngasm "$work/apngasm.png" apngasm "$work/apngasm.png" $(ls "$frames/png"/*.png | sort -V) "$d" 100
  fi

  n=$(ls "$frames/png" | wc -l)
  cols=$(awk -v n="$n" 'BEGIN { c = int(sqrt(n)); if (c * c < n) c++; print c }')
  rows=$(( (n + cols - 1) / cols ))
  echo "$base.gif as one sprite sheet (${cols} x ${rows} cells)"
  run falorengif "$work/ours-sheet" "$cli" sheet "$in" --to "$work/ours-sheet.png" --max-size 16384
  if has ffmpeg; then
    run "ffmpeg tile=${cols}x${rows}" "$work/ffmpeg-sheet.png" ffmpeg -nostdin -v error -i "$in" \
      -vf "tile=${cols}x${rows}" -frames:v 1 "$work/ffmpeg-sheet.png"
  fi
  if has montage; then
    run montage "$work/montage-sheet.png" env MAGICK_CONFIGURE_PATH="$work/magick" montage \
      $(ls "$frames/png"/*.png | sort -V) -tile "${cols}x" -geometry +0+0 -background none \
      "$work/montage-sheet.png"
  fi
done
