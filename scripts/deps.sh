#!/usr/bin/env bash
# Installs what Nimbra needs to build and test on Debian 12, only what is missing.
set -euo pipefail
packages=(cmake g++ make pkg-config ccache qt6-base-dev qt6-base-dev-tools libgl-dev
          libjpeg62-turbo-dev libssl-dev libgtest-dev libgmock-dev libbenchmark-dev
          xvfb xauth sharutils zlib1g-dev)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  SUDO=""; [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
