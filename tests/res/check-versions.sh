#!/usr/bin/env bash
# The version has one home, the CMake project version: the Debian changelog,
# the newest release of the AppStream metainfo and each program's --version
# must say the same.
#   check-versions.sh VERSION SOURCE_DIR PROGRAM...
set -euo pipefail
version="$1"
source="$2"
shift 2

status=0
differs() {
  echo "$1 says $2, but the CMake project version is $version"
  status=1
}
# "lumivanta (EPOCH:UPSTREAM-REVISION) ...": the upstream part.
changelog=$(sed -n '1s/^[^ ]* (\([0-9]*:\)\{0,1\}\(.*\)-[^-]*).*/\2/p' "$source/debian/changelog")
[ "$changelog" = "$version" ] || differs debian/changelog "'$changelog'"
# Releases are listed newest first.
release=$(grep -o -m1 '<release version="[^"]*"' "$source/res/org.lumivanta.Lumivanta.metainfo.xml" | cut -d'"' -f2)
[ "$release" = "$version" ] || differs "the metainfo's newest release" "'$release'"
for program in "$@"; do
  printed=$("$program" --version)
  [ "$printed" = "$(basename "$program") $version" ] || differs "$(basename "$program") --version" "'$printed'"
done
if [ "$status" -eq 0 ]; then
  echo "the changelog, the metainfo and $# programs say $version"
fi
exit "$status"
