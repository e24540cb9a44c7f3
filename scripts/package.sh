#!/bin/sh
# Builds the Debian packages falorengif and falorengif-cli from this tree and
# checks them with lintian. Installs what the package build needs from Debian's
# packages when missing (apt-get; sudo when not root), copies the tree (without
# build/ and .git) to OUT_DIR/falorengif-VERSION, runs dpkg-buildpackage there,
# which runs the tests unless DEB_BUILD_OPTIONS has nocheck, and leaves the
# .deb files in OUT_DIR. Fails when lintian reports an error.
# Usage: scripts/package.sh [OUT_DIR]      (default: build/package)
set -eu
cd "$(dirname "$0")/.."
. ./scripts/deps.sh
out="${1:-build/package}"

case " ${DEB_BUILD_OPTIONS:-} " in
  *" nocheck "*) nocheck=1 ;;
  *) nocheck= ;;
esac
# build-essential, dpkg-dev and debhelper make the package build; lintian checks it.
if [ -n "$nocheck" ]; then
  fg_install_deps build-essential dpkg-dev debhelper lintian $FG_BUILD_PACKAGES
else
  fg_install_deps build-essential dpkg-dev debhelper lintian $FG_BUILD_PACKAGES $FG_TEST_PACKAGES
fi

# Without a parallel= option dh builds and tests on one core.
case " ${DEB_BUILD_OPTIONS:-} " in
  *" parallel="*) ;;
  *) DEB_BUILD_OPTIONS="${DEB_BUILD_OPTIONS:+$DEB_BUILD_OPTIONS }parallel=$(nproc)" ;;
esac
export DEB_BUILD_OPTIONS

version="$(dpkg-parsechangelog -S Version)"
src="$out/falorengif-$version"
rm -rf "$src"
mkdir -p "$src"
tar -cf - --exclude=./build --exclude=./.git . | tar -xf - -C "$src"

start="$(date +%s)"
# The test-only Build-Depends are not needed when the tests do not run.
(cd "$src" && dpkg-buildpackage -b -us -uc ${nocheck:+-Pnocheck})
echo "Package build took $(( $(date +%s) - start )) s."

changes="$out/falorengif_${version}_$(dpkg-architecture -qDEB_HOST_ARCH).changes"
echo "Packages in $out:"
ls -1 "$out"/*.deb
lintian --fail-on error "$changes"
echo "lintian reports no error."
