#!/bin/sh
# Builds everything and runs the tests: the Release build with all tests (offscreen),
# then the imaging library, its tests, the command-line front end and the fuzz
# targets' replayers under AddressSanitizer and UndefinedBehaviorSanitizer; the
# replayers run fuzz/regressions/, fuzz/seeds/ and the GIFs of ../shared/corpus, and the
# malformed GIFs of ../shared/corpus go through the front end as well when that
# folder exists (every reference file must match frame for frame, every other
# file must end without crash or hang).
set -eu
cd "$(dirname "$0")"
. ./scripts/deps.sh
fg_install_deps $FG_BUILD_PACKAGES $FG_TEST_PACKAGES libbenchmark-dev
jobs="$(nproc)"

echo "== Release build and tests"
# run.sh shares build/release and turns tests and benchmarks off in its cache, so
# both are turned back on here; --no-tests=error keeps an empty run from passing.
cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release -DFG_BUILD_TESTS=ON -DFG_BUILD_BENCH=ON
cmake --build build/release -j"$jobs"
QT_QPA_PLATFORM=offscreen ctest --test-dir build/release --output-on-failure --no-tests=error -j"$jobs"

echo "== Sanitizer build (imaging, its tests, CLI)"
cmake -S . -B build/asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DFG_SANITIZE=ON \
  -DFG_IMAGING_ONLY=ON -DFG_BUILD_TESTS=ON -DFG_BUILD_BENCH=OFF
cmake --build build/asan -j"$jobs"
export ASAN_OPTIONS=abort_on_error=1:detect_leaks=1
export UBSAN_OPTIONS=halt_on_error=1:abort_on_error=1:print_stacktrace=1
QT_QPA_PLATFORM=offscreen ctest --test-dir build/asan --output-on-failure --no-tests=error -j"$jobs"

echo "== Fuzz targets replaying fuzz/regressions, fuzz/seeds and the corpus, sanitizer build"
replay="fuzz/regressions fuzz/seeds"
[ -d ../shared/corpus/gifs ] && replay="$replay ../shared/corpus/gifs"
for target in decoder export; do
  # shellcheck disable=SC2086 # the folders are separate arguments
  QT_QPA_PLATFORM=offscreen "build/asan/fuzz/fuzz_$target" $replay
done

corpus=../shared/corpus
if [ -f "$corpus/check.py" ]; then
  # The corpus check needs Python with PIL; only installed when the corpus is there.
  fg_install_deps python3 python3-pil
  echo "== Corpus: reference frames and malformed files, Release build"
  /usr/bin/python3 "$corpus/check.py" build/release/src/cli/falorengif-cli
  echo "== Corpus: reference frames and malformed files, sanitizer build"
  /usr/bin/python3 "$corpus/check.py" build/asan/src/cli/falorengif-cli --timeout 60
else
  echo "== ../shared/corpus not found: corpus run skipped"
fi
echo "All tests passed."
