#!/usr/bin/env bash
# Installs what Nimbra needs to build and test on Debian 12, only what is missing.
set -euo pipefail
packages=(cmake g++ make pkg-config ccache qt6-base-dev qt6-base-dev-tools libgl-dev
          libjpeg62-turbo-dev libpng-dev libssl-dev libgtest-dev libgmock-dev libbenchmark-dev
          xvfb xauth sharutils zlib1g-dev qtkeychain-qt6-dev gnome-keyring dbus dbus-daemon
          libsecret-1-0 desktop-file-utils dpkg-dev file clang libclang-rt-14-dev)
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

# A real news server for the end-to-end tests, which start it privately on a loopback port:
# Debian's inn2, installed without ever starting the system's own innd (a temporary
# policy-rc.d refuses every service start). Its postinst fails when the host name has no
# domain; a "domain:" line in inn.conf lets it finish. Where inn2 cannot be installed the
# real-server tests skip with that reason.
if ! dpkg-query -W -f='${Status}' inn2 2>/dev/null | grep -q "install ok installed"; then
  SUDO=""; [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  policy=/usr/sbin/policy-rc.d
  saved=""
  if [ -e "$policy" ]; then saved="$(mktemp)"; $SUDO cp -p "$policy" "$saved"; fi
  printf '#!/bin/sh\nexit 101\n' | $SUDO tee "$policy" > /dev/null
  $SUDO chmod 755 "$policy"
  ( $SUDO apt-get update -qq || true
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends inn2 || true
    if [ -f /etc/news/inn.conf ] && ! grep -q '^domain:' /etc/news/inn.conf; then
      echo "domain: localdomain" | $SUDO tee -a /etc/news/inn.conf > /dev/null
    fi
    DEBIAN_FRONTEND=noninteractive $SUDO dpkg --configure -a || true ) \
    || echo "inn2 could not be installed; the real-server tests will skip"
  if [ -n "$saved" ]; then $SUDO mv "$saved" "$policy"; else $SUDO rm -f "$policy"; fi
  # The tests start their own instance; the system's must not start at the next boot either.
  $SUDO systemctl disable inn2 > /dev/null 2>&1 \
    || $SUDO rm -f /etc/systemd/system/multi-user.target.wants/inn2.service
fi
