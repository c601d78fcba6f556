#!/usr/bin/env bash
# Starts lumivanta-server on a free loopback port, runs the load program
# against it and reports the server's peak memory.
# Usage: bench/server-load.sh SERVER-BINARY LOAD-BINARY [load arguments...]
set -euo pipefail
server_binary="$1"
load_binary="$2"
shift 2

log=$(mktemp)
"$server_binary" --listen 127.0.0.1:0 > "$log" 2>&1 &
server_pid=$!
trap 'kill "$server_pid" 2>/dev/null; wait "$server_pid" 2>/dev/null; rm -f "$log"' EXIT

url=""
for _ in $(seq 1 100); do
  url=$(grep -o 'http://127\.0\.0\.1:[0-9]*/' "$log" | head -n 1 || true)
  [ -n "$url" ] && break
  sleep 0.1
done
if [ -z "$url" ]; then
  echo "server-load: lumivanta-server did not start" >&2
  cat "$log" >&2
  exit 1
fi

status=0
"$load_binary" "$url" "$@" || status=$?
echo "server peak memory (VmHWM): $(awk '/VmHWM/ {print $2, $3}' "/proc/$server_pid/status")"
echo "server memory now (VmRSS): $(awk '/VmRSS/ {print $2, $3}' "/proc/$server_pid/status")"
exit "$status"
