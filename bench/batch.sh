#!/bin/sh
# Times `falorengif-cli export` over a tree of 600 GIFs in 20 folders, one
# process for the whole tree, against one process per file (xargs -P), ours
# and ffmpeg's, and prints wall time, peak memory and the output's file count.
#
#   bench/batch.sh [CLI]        CLI defaults to build/release/src/cli/falorengif-cli
#
# Inputs: FG_BENCH_DIR (default build/bench-inputs) must hold folder/ (the 300
# GIFs of ../shared/bench/gen_bench.py's `folder` recipe; generated when missing,
# which needs python3-pil, ffmpeg and gifsicle). The tree is made beside it in
# tree/: the 300 GIFs, then the same 300 again under other names, dealt round
# robin into d0 ... d19. All three runs write PNG, with as many processes or
# files at once as there are cores. GNU time (/usr/bin/time) gives the memory:
# for the xargs runs, the largest of the processes.
set -eu

here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
cli=${1:-$root/build/release/src/cli/falorengif-cli}
inputs=${FG_BENCH_DIR:-$root/build/bench-inputs}
gen=$root/../shared/bench/gen_bench.py
py=/usr/bin/python3
cores=$(nproc)

[ -x "$cli" ] || { echo "no command-line front end at $cli (build it first)" >&2; exit 2; }
[ -x /usr/bin/time ] || { echo "GNU time is needed: apt-get install time" >&2; exit 2; }

mkdir -p "$inputs"
if [ ! -d "$inputs/folder" ]; then
  echo "generating $inputs/folder ..."
  # gen_bench.py writes beside itself: run a copy in the inputs folder.
  cp "$gen" "$inputs/gen_bench.py"
  "$py" "$inputs/gen_bench.py" --only folder
fi

tree=$inputs/tree
if [ ! -d "$tree" ]; then
  i=0
  for pass in a b; do
    for f in "$inputs"/folder/*.gif; do
      d=$tree/d$((i % 20))
      mkdir -p "$d"
      if [ $pass = a ]; then cp "$f" "$d/"; else cp "$f" "$d/again_$(basename "$f")"; fi
      i=$((i + 1))
    done
  done
fi
count=$(find "$tree" -name '*.gif' | wc -l)

out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

# measure NAME COMMAND...: wall seconds and peak resident MB of one run.
measure() {
  name=$1
  shift
  sync
  /usr/bin/time -f '%e %M' -o "$out/time" "$@" >/dev/null
  set -- $(cat "$out/time")
  files=$(find "$out/run" -type f | wc -l)
  printf '%-40s %7.2f s %7.1f MB %6d files\n' "$name" "$1" "$(echo "$2" | awk '{print $1 / 1024}')" "$files"
  rm -rf "$out/run"
}

echo "$count GIFs in $(find "$tree" -mindepth 1 -type d | wc -l) folders, $cores cores, load $(cut -d' ' -f1-3 /proc/loadavg)"
measure "export --recursive --jobs $cores" \
  "$cli" export "$tree" --recursive --to "$out/run" --format png --jobs "$cores" --quiet
measure "(a) export per file, xargs -P $cores" sh -c '
  cd "$1" && find . -name "*.gif" -print0 |
    xargs -0 -P "$2" -I{} "$3" export {} --to "$4/{}" --format png --quiet' sh \
  "$tree" "$cores" "$cli" "$out/run"
if command -v ffmpeg >/dev/null 2>&1; then
  measure "(b) ffmpeg per file, xargs -P $cores" sh -c '
    cd "$1" && find . -type d -exec mkdir -p "$4/{}" ";" && find . -name "*.gif" -print0 |
      xargs -0 -P "$2" -I{} ffmpeg -nostdin -v error -y -i {} -fps_mode passthrough "$4/{}_%d.png"' sh \
    "$tree" "$cores" ffmpeg "$out/run"
fi
