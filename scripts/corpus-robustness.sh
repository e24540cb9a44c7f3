#!/bin/sh
# Usage: corpus-robustness.sh CLI CORPUS_DIR
# Exports every GIF of the corpus to PNG with CLI and fails when any run crashes,
# hangs (60 s) or trips a sanitizer. Exit status 1 from the CLI (a file it could
# not fully read) is fine; a signal or an abort is not.
set -u
cli="$1"; corpus="$2"
tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT
bad=0; n=0
for f in "$corpus"/gifs/*.gif; do
  n=$((n + 1))
  rm -rf "$tmp/out"; mkdir "$tmp/out"
  timeout 60 "$cli" export "$f" --to "$tmp/out" --format png >/dev/null 2>"$tmp/err"
  rc=$?
  if [ "$rc" -ge 124 ] || grep -q -E 'Sanitizer|runtime error' "$tmp/err"; then
    echo "FAILED ($rc): $f"; tail -n 20 "$tmp/err"; bad=$((bad + 1))
  fi
done
echo "corpus: $n files, $bad crashed, hung or tripped a sanitizer"
[ "$bad" = 0 ]
