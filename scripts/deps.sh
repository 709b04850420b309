#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, only when one is missing.
set -euo pipefail
pkgs=(g++ cmake make pkg-config qt6-base-dev libqt6opengl6-dev qt6-qpa-plugins libglu1-mesa-dev
  libegl-dev libgl-dev libgtest-dev libbenchmark-dev libnanoflann-dev zlib1g-dev
  nlohmann-json3-dev libqpdf-dev)
if [ "${1:-}" = "--test" ]; then
  pkgs+=(xvfb xauth xdotool view3dscene clang clang-format libclang-rt-14-dev imagemagick)
  # Validators of the desktop files and the manual page; the tools cpack -G DEB uses.
  pkgs+=(appstream desktop-file-utils groff-base mandoc dpkg-dev file)
  # Readers of the PDF pages: structure (qpdf), text and pixels (poppler), PDF/A-1b (PDFBox
  # Preflight on a Java runtime).
  pkgs+=(qpdf poppler-utils libpdfbox2-java libactivation-java libjaxb-api-java
    default-jre-headless)
  # Opens the exported web page headless (the web tests).
  pkgs+=(chromium)
fi
missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
