#!/usr/bin/env bash
# Installs the build into a fresh prefix, as `cmake --install` does for a
# user, and checks what a desktop expects there: both programs, their man
# pages, the desktop entry, the AppStream metainfo (validated as installed)
# and the icon in every size, each PNG as large as its folder says, and as SVG.
#   check-installed-tree.sh CMAKE BUILD_DIR
set -euo pipefail
cmake_command="$1"
build="$2"
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
"$cmake_command" --install "$build" --prefix "$prefix" >/dev/null

status=0
expect() {
  if [ ! -s "$prefix/$1" ]; then
    echo "missing from the installed tree: $1"
    status=1
  fi
}
for file in bin/lumivanta bin/lumivanta-server share/man/man1/lumivanta.1 share/man/man1/lumivanta-server.1 \
  share/applications/lumivanta.desktop share/metainfo/org.lumivanta.Lumivanta.metainfo.xml \
  share/icons/hicolor/scalable/apps/lumivanta.svg; do
  expect "$file"
done
for size in 16 32 48 64 128 256; do
  icon="share/icons/hicolor/${size}x${size}/apps/lumivanta.png"
  expect "$icon"
  # A PNG's width and height are the big-endian words at bytes 16 and 20.
  read -r width height < <(od -An -tu4 --endian=big -j16 -N8 "$prefix/$icon" 2>/dev/null || echo "0 0")
  if [ "$width" != "$size" ] || [ "$height" != "$size" ]; then
    echo "$icon is ${width}x${height}"
    status=1
  fi
done
desktop-file-validate "$prefix/share/applications/lumivanta.desktop" || status=1
appstreamcli validate-tree --no-net "$prefix" || status=1
exit "$status"
