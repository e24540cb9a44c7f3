#!/bin/sh
# fuzz/run.sh TARGET SECONDS: builds the libFuzzer target fuzz_TARGET (decoder
# or export) with clang, AddressSanitizer and UndefinedBehaviorSanitizer in
# build/fuzz, and runs it for SECONDS on one core, seeded with the GIFs of
# ../shared/corpus (when present), fuzz/regressions/ and fuzz/seeds/. New inputs go to
# build/fuzz/corpus/TARGET, crashes to build/fuzz/artifacts/TARGET/; minimize
# one with the same binary and -minimize_crash=1, and commit it to
# fuzz/regressions/ with its fix.
set -eu
[ $# -eq 2 ] || { echo "usage: $0 decoder|export SECONDS" >&2; exit 2; }
target="$1"
seconds="$2"
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$root/build/fuzz"

CC=clang CXX=clang++ cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DFG_FUZZ=ON -DFG_IMAGING_ONLY=ON -DFG_BUILD_TESTS=OFF -DFG_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" --target "fuzz_$target" -j2

mkdir -p "$build/corpus/$target" "$build/artifacts/$target"
seeds="$root/fuzz/regressions $root/fuzz/seeds"
[ -d "$root/../shared/corpus/gifs" ] && seeds="$seeds $root/../shared/corpus/gifs"
export ASAN_OPTIONS=abort_on_error=1:detect_leaks=1
export UBSAN_OPTIONS=halt_on_error=1:abort_on_error=1:print_stacktrace=1
export QT_QPA_PLATFORM=offscreen
# shellcheck disable=SC2086 # the seed folders are separate arguments
# The timeout is generous: near-limit canvases take a second or two under the
# sanitizers, and far longer when the shared machine is loaded.
exec "$build/fuzz/fuzz_$target" -max_total_time="$seconds" -max_len=65536 -timeout=120 \
  -rss_limit_mb=3072 -print_final_stats=1 -dict="$root/fuzz/gif.dict" \
  -artifact_prefix="$build/artifacts/$target/" "$build/corpus/$target" $seeds
