# Sourced by run.sh and test.sh: installs the Debian packages the project needs
# when any is missing (apt-get; sudo when not root). Usage: fg_install_deps PKG...
fg_install_deps() {
  missing=""
  for p in "$@"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
      missing="$missing $p"
    fi
  done
  [ -z "$missing" ] && return 0
  echo "Installing:$missing"
  if [ "$(id -u)" = 0 ]; then SUDO=""; else SUDO="sudo"; fi
  $SUDO apt-get update
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends \
    -o DPkg::Lock::Timeout=600 $missing
}

FG_BUILD_PACKAGES="ca-certificates cmake g++ make pkg-config qt6-base-dev qt6-base-dev-tools \
  libwebp-dev libpng-dev \
  qt6-image-formats-plugins qt6-qpa-plugins libgl-dev libgif-dev libimagequant-dev libdeflate-dev libxxhash-dev \
  fonts-arphic-ukai fonts-arphic-uming qt6-translations-l10n"
