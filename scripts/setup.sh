#!/usr/bin/env bash
# Installs the Debian packages Korvaline needs to build, run and test. Safe to run again:
# packages already present are left alone and nothing is installed when all are there.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config git ccache clang lld libclang-rt-14-dev
  libcairo2-dev libx11-dev libfreetype-dev libfontconfig-dev libpng-dev zlib1g-dev
  libespeak-ng-dev
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  fonts-liberation fonts-urw-base35 fonts-dejavu-core fonts-ipafont-gothic
  xvfb xauth x11-utils openbox fluxbox
  libxtst-dev
  ghostscript xclip pngcheck xdotool x11-xserver-utils
  emf2svg
  texlive-latex-base texlive-latex-recommended texlive-fonts-recommended
  w3c-sgml-lib libxml2-utils
  unrtf pandoc python3-olefile
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  if [ "$(id -u)" -ne 0 ]; then SUDO=sudo; else SUDO=; fi
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
