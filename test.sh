#!/bin/sh
# Builds everything and runs the tests: the Release build with all tests (offscreen),
# then the imaging library, its tests and the command-line front end under
# AddressSanitizer and UndefinedBehaviorSanitizer, fed the malformed GIFs of
# ../shared/corpus as well when that folder exists.
set -eu
cd "$(dirname "$0")"
. ./scripts/deps.sh
fg_install_deps $FG_BUILD_PACKAGES libbenchmark-dev
jobs="$(nproc)"

echo "== Release build and tests"
cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release
cmake --build build/release -j"$jobs"
QT_QPA_PLATFORM=offscreen ctest --test-dir build/release --output-on-failure -j"$jobs"

echo "== Sanitizer build (imaging, its tests, CLI)"
cmake -S . -B build/asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DFG_SANITIZE=ON \
  -DFG_IMAGING_ONLY=ON -DFG_BUILD_BENCH=OFF
cmake --build build/asan -j"$jobs"
export ASAN_OPTIONS=abort_on_error=1:detect_leaks=1
export UBSAN_OPTIONS=halt_on_error=1:abort_on_error=1:print_stacktrace=1
QT_QPA_PLATFORM=offscreen ctest --test-dir build/asan --output-on-failure -j"$jobs"

corpus=../shared/corpus
if [ -d "$corpus/gifs" ]; then
  echo "== Corpus through the sanitizer build"
  ./scripts/corpus-robustness.sh build/asan/src/cli/falorengif-cli "$corpus"
else
  echo "== ../shared/corpus not found: corpus run skipped"
fi
echo "All tests passed."
