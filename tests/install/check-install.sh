#!/usr/bin/env bash
# Installs the build into a scratch prefix and checks that a desktop finds what it needs: the
# program and the demo server in bin/, the help file where the help window looks, a desktop
# entry that desktop-file-validate accepts and the icon it names in the hicolor theme.
set -euo pipefail
build="$1"
prefix="$(mktemp -d /tmp/nimbra-install-XXXXXX)"
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" > /dev/null
for file in bin/nimbra bin/nimbra-demo-server share/nimbra/nimbra.html \
            share/applications/nimbra.desktop share/icons/hicolor/scalable/apps/nimbra.svg; do
  [ -f "$prefix/$file" ] || { echo "missing after install: $file"; exit 1; }
done
[ -x "$prefix/bin/nimbra" ] || { echo "bin/nimbra is not executable"; exit 1; }
icon="$(sed -n 's/^Icon=//p' "$prefix/share/applications/nimbra.desktop")"
[ -f "$prefix/share/icons/hicolor/scalable/apps/$icon.svg" ] || { echo "the entry's icon $icon is not installed"; exit 1; }
if command -v desktop-file-validate > /dev/null; then
  desktop-file-validate "$prefix/share/applications/nimbra.desktop"
else
  echo "desktop-file-validate is not installed (scripts/deps.sh installs it)"; exit 1
fi
HOME="$prefix" QT_QPA_PLATFORM=offscreen "$prefix/bin/nimbra" --version | grep -q "Nimbra File"
echo "install layout ok"
