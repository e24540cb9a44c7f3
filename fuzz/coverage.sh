#!/bin/sh
# fuzz/coverage.sh TARGET [FOLDER...]: line and branch coverage of the imaging
# library when the replayer of fuzz_TARGET runs the inputs of FOLDER... (by
# default the corpus a fuzz/run.sh run built, build/fuzz/corpus/TARGET, with
# fuzz/regressions/). Builds with clang's source-based coverage in
# build/fuzz-coverage and prints llvm-cov's report for src/imaging/.
set -eu
[ $# -ge 1 ] || { echo "usage: $0 decoder|export [FOLDER...]" >&2; exit 2; }
target="$1"
shift
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$root/build/fuzz-coverage"
[ $# -gt 0 ] || set -- "$root/build/fuzz/corpus/$target" "$root/fuzz/regressions"

flags="-fprofile-instr-generate -fcoverage-mapping"
CC=clang CXX=clang++ cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DFG_SANITIZE=ON -DFG_IMAGING_ONLY=ON -DFG_BUILD_TESTS=OFF -DFG_BUILD_BENCH=OFF \
  -DCMAKE_CXX_FLAGS="$flags" -DCMAKE_EXE_LINKER_FLAGS="$flags" >/dev/null
cmake --build "$build" --target "fuzz_$target" -j2

profile="$build/$target.profraw"
rm -f "$profile"
ASAN_OPTIONS=detect_leaks=0 QT_QPA_PLATFORM=offscreen LLVM_PROFILE_FILE="$profile" \
  "$build/fuzz/fuzz_$target" "$@"
llvm-profdata merge -sparse "$profile" -o "$build/$target.profdata"
llvm-cov report "$build/fuzz/fuzz_$target" -instr-profile="$build/$target.profdata" \
  "$root/src/imaging"
