#!/usr/bin/env bash
# The service unit as installed passes `systemd-analyze verify`, run on a copy
# whose ExecStart names the lumivanta-server just built. Its man page is not
# installed while testing a build tree, so the Documentation= check is left out.
#   verify-service-unit.sh UNIT SERVER_BINARY
set -euo pipefail
unit="$1"
server="$2"
dir="$(mktemp -d)"
trap 'rm -rf "$dir"' EXIT
sed "s|^ExecStart=[^ ]*|ExecStart=$server|" "$unit" >"$dir/lumivanta-server.service"
status=0
output="$(systemd-analyze verify --man=no "$dir/lumivanta-server.service" 2>&1)" || status=$?
if [ "$status" -ne 0 ] || [ -n "$output" ]; then
  echo "$output" >&2
  exit 1
fi
