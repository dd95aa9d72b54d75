#!/usr/bin/env bash
# Runs a test binary inside a private D-Bus session with its own unlocked GNOME keyring, so
# the test reaches a real Secret Service without touching the user's. Exit status 77 (a
# skipped test for CTest) only when the session or the keyring daemon cannot be started.
set -u
binary="$1"; shift
for tool in dbus-run-session gnome-keyring-daemon; do
  if ! command -v "$tool" >/dev/null; then
    echo "SKIPPED: $tool is not installed (scripts/deps.sh installs it)"
    exit 77
  fi
done
home="$(mktemp -d /tmp/nimbra-keyring-XXXXXX)"
trap 'rm -rf "$home"' EXIT
mkdir -m 700 "$home/run"
export HOME="$home" XDG_DATA_HOME="$home/data" XDG_CONFIG_HOME="$home/config" XDG_RUNTIME_DIR="$home/run"
unset DBUS_SESSION_BUS_ADDRESS
dbus-run-session -- bash -c '
  # A keyring made and unlocked with a throwaway password; the daemon ends with the bus.
  if ! printf "nimbra-test-keyring" | gnome-keyring-daemon --unlock --components=secrets >/dev/null; then
    echo "SKIPPED: gnome-keyring-daemon could not be started in a private D-Bus session"
    exit 77
  fi
  "$@"' keyring-session "$binary" "$@"
