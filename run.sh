#!/bin/sh
# Builds FalorenGIF in Release and starts it. With a display it opens the desktop
# program; without one it decomposes a sample GIF with the command-line front end.
set -eu
cd "$(dirname "$0")"
. ./scripts/deps.sh
fg_install_deps $FG_BUILD_PACKAGES
cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release -DFG_BUILD_TESTS=OFF -DFG_BUILD_BENCH=OFF
cmake --build build/release -j"$(nproc)"

if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  exec ./build/release/src/app/falorengif "$@"
fi

echo "No display found: demonstrating the command-line front end instead."
out="${TMPDIR:-/tmp}/falorengif-demo"
rm -rf "$out"
mkdir -p "$out"
sample="$out/sample.gif"
./build/release/src/cli/falorengif-cli sample "$sample"
./build/release/src/cli/falorengif-cli info "$sample"
./build/release/src/cli/falorengif-cli export "$sample" --to "$out/frames" --format png
echo "The frames of $sample were written to $out/frames:"
ls -l "$out/frames"
