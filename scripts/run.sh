#!/usr/bin/env bash
# Installs what is missing, builds Nimbra File and the demo news server, starts the demo
# server on 127.0.0.1 (port $NIMBRA_DEMO_PORT, default 11119) and runs the program against
# it: its groups selected and "Get Files" pressed at once, so pictures arrive straight away.
# The demo server stops when the program ends.
#
# With a display the window stays open after the run. Without one (no DISPLAY or
# WAYLAND_DISPLAY) the program runs offscreen and unattended: it prints each saved file and
# the counters, then ends; the exit status says whether the run completed.
#
#   bash scripts/run.sh                 the demo as above
#   bash scripts/run.sh --tls ...       the same over SSL/TLS: the demo server makes a
#                                       self-signed certificate and writes it to
#                                       build/release/demo-server.pem, and the program runs
#                                       with SSL_CERT_FILE naming that file (and SSL_CERT_DIR
#                                       an empty folder). For that run this REPLACES the
#                                       system's trust store: only the demo server is trusted.
#   bash scripts/run.sh --no-demo ...   no demo server; the remaining arguments go to the
#                                       program (see build/release/nimbra --help)
#
# Other arguments go to the program after the demo's own. The program keeps the server,
# port and SSL/TLS choice as settings, as if typed; a plain demo run clears the SSL/TLS box
# (--no-tls), so that an earlier --tls run does not leave it ticked against a plain server.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
build="$here/build/release"
bash "$here/scripts/deps.sh"
mkdir -p "$build"
cmake -S "$here" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo > "$build.configure.log" 2>&1 \
  || { cat "$build.configure.log"; exit 1; }
cmake --build "$build" --target nimbra nimbra-demo-server -j2

headless=0
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
  headless=1
  export QT_QPA_PLATFORM=offscreen
fi

if [ "${1:-}" = "--no-demo" ]; then
  shift
  [ "$headless" = 1 ] && echo "No display found: running Nimbra File offscreen (nothing is shown; Ctrl+C ends it)."
  exec "$build/nimbra" "$@"
fi

tls=0
if [ "${1:-}" = "--tls" ]; then
  shift
  tls=1
fi

port="${NIMBRA_DEMO_PORT:-11119}"
log="$build/demo-server.log"
certificate="$build/demo-server.pem"
server_arguments=(--port "$port")
if [ "$tls" = 1 ]; then
  server_arguments+=(--tls --write-certificate "$certificate")
fi
"$build/nimbra-demo-server" "${server_arguments[@]}" > "$log" 2>&1 &
server=$!
stop_server() { kill "$server" 2>/dev/null || true; wait "$server" 2>/dev/null || true; }
trap stop_server EXIT
trap 'exit 130' INT TERM

# The server prints its address and then one group a line once it listens.
for _ in $(seq 1 100); do
  grep -q "^Nimbra demo news server on" "$log" && break
  kill -0 "$server" 2>/dev/null || { cat "$log"; echo "The demo news server did not start (is port $port taken? set NIMBRA_DEMO_PORT)."; exit 1; }
  sleep 0.1
done
grep -q "^Nimbra demo news server on" "$log" || { cat "$log"; echo "The demo news server did not answer."; exit 1; }
groups="$(sed -n 's/^  \(.*binaries.*\)$/\1/p' "$log" | paste -sd, -)"
head -1 "$log"

arguments=(--server 127.0.0.1 --port "$port" --groups "$groups" --get-files)
if [ "$tls" = 1 ]; then
  grep "^TLS certificate" "$log"
  arguments+=(--tls)
  mkdir -p "$build/demo-trust-dir"
  export SSL_CERT_FILE="$certificate" SSL_CERT_DIR="$build/demo-trust-dir"
else
  arguments+=(--no-tls)
fi
if [ "$headless" = 1 ]; then
  echo "No display found: running Nimbra File offscreen and unattended against the demo server."
else
  arguments+=(--keep-open)
fi
"$build/nimbra" "${arguments[@]}" "$@"
