#!/bin/sh
# Installs the build into a temporary prefix and checks what the desktop gets:
# both programs, the desktop entry, the hicolor icons, the metainfo and the
# manual pages; the entry and the metainfo must pass their validators.
# Usage: check-install.sh BUILD_DIR
set -eu
build="$1"
id=invalid.falorengif.FalorenGIF
prefix="$(mktemp -d)"
trap 'rm -rf "$prefix"' EXIT

fail() { echo "FAIL: $*" >&2; exit 1; }

cmake --install "$build" --prefix "$prefix" >/dev/null

for p in falorengif falorengif-cli; do
  [ -x "$prefix/bin/$p" ] || fail "bin/$p not installed"
done
"$prefix/bin/falorengif-cli" --help >/dev/null || fail "installed falorengif-cli does not run"

desktop="$prefix/share/applications/$id.desktop"
[ -f "$desktop" ] || fail "desktop entry not installed"
desktop-file-validate "$desktop" || fail "desktop-file-validate"
grep -qx 'Exec=falorengif %f' "$desktop" || fail "Exec line"
# Every animation format the program opens.
grep -qx 'MimeType=image/gif;image/webp;image/apng;' "$desktop" || fail "MimeType line"
grep -qx "Icon=$id" "$desktop" || fail "Icon line"

for side in 16 22 24 32 48 64 128 256; do
  png="$prefix/share/icons/hicolor/${side}x${side}/apps/$id.png"
  [ -f "$png" ] || fail "icon ${side}x${side} not installed"
  # PNG header: width and height are the big-endian words at bytes 16 and 20.
  size="$(od -An -tu1 -j16 -N8 "$png" | awk '{print $3*256+$4 "x" $7*256+$8}')"
  [ "$size" = "${side}x${side}" ] || fail "icon ${side}x${side} is $size"
done

metainfo="$prefix/share/metainfo/$id.metainfo.xml"
[ -f "$metainfo" ] || fail "metainfo not installed"
appstreamcli validate --no-net "$metainfo" || fail "appstreamcli validate"
grep -q "<launchable type=\"desktop-id\">$id.desktop</launchable>" "$metainfo" \
  || fail "metainfo does not launch the desktop entry"

for page in falorengif falorengif-cli; do
  man="$prefix/share/man/man1/$page.1"
  [ -f "$man" ] || fail "manual page $page.1 not installed"
  warnings="$(LC_ALL=C.UTF-8 groff -man -ww -z "$man" 2>&1)" || fail "groff $page.1"
  [ -z "$warnings" ] || fail "manual page $page.1 warnings: $warnings"
done
man="$prefix/share/man/man1/falorengif-cli.1"
# Every command and option of the usage text is described (--quiet is not in
# every build's usage text yet, so it is named here).
usage="$("$prefix/bin/falorengif-cli" --help)"
words="$(echo "$usage" | grep -o -- '--[a-z][a-z-]*' | sort -u) info export thumbs sample --quiet"
for word in $words; do
  grep -qF -- "$(echo "$word" | sed 's/-/\\-/g')" "$man" || fail "manual page lacks $word"
done
echo "install check passed: $prefix"
