#!/usr/bin/env bash
# The service unit as installed passes `systemd-analyze verify`, run on a copy
# whose ExecStart names the lumivanta-server just built.
#   verify-service-unit.sh UNIT SERVER_BINARY
set -euo pipefail
unit="$1"
server="$2"
dir="$(mktemp -d)"
trap 'rm -rf "$dir"' EXIT
sed "s|^ExecStart=[^ ]*|ExecStart=$server|" "$unit" >"$dir/lumivanta-server.service"
output="$(systemd-analyze verify "$dir/lumivanta-server.service" 2>&1)"
if [ -n "$output" ]; then
  echo "$output" >&2
  exit 1
fi
