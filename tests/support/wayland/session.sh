#!/bin/sh
# Starts a private headless Wayland session for the tests, in the order its
# parts need, and prints its addresses followed by "ready" on standard
# output; then waits until it is ended. Run under setsid and dbus-run-session,
# with XDG_RUNTIME_DIR, XDG_CONFIG_HOME, XDG_DATA_HOME and XDG_STATE_HOME in
# the session's own directory (the test harness does that).
# The output starts in one colour, 1920x1080.
# With a shortcuts backend (a python script) the portal offers GlobalShortcuts
# through it, loaded from a portals directory of the session's own.
#   session.sh <directory> <screencast: yes|no> <preloaded library for the portal backend> [<shortcuts backend>]
set -eu
directory=$1
screencast=$2
shim=$3
shortcuts=${4:-}

# Waits up to 20 seconds for a file to appear.
await() {
  tries=0
  while [ ! -e "$1" ]; do
    tries=$((tries + 1))
    if [ $tries -gt 400 ]; then
      echo "session: $1 did not appear" >&2
      exit 1
    fi
    sleep 0.05
  done
}

# Waits up to 20 seconds for a name to be owned on the session bus (asked of
# the bus itself: a call to the name's owner would have D-Bus start another).
await_name() {
  tries=0
  until dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
    org.freedesktop.DBus.NameHasOwner string:"$1" 2>/dev/null | grep -q true; do
    tries=$((tries + 1))
    if [ $tries -gt 400 ]; then
      echo "session: nobody took $1 on the bus" >&2
      exit 1
    fi
    sleep 0.05
  done
}

# sway does not run as root: it runs as nobody, in a runtime directory of its own.
sway_runtime=$directory/sway-runtime
mkdir -m 0700 "$sway_runtime"
chown 65534:65534 "$sway_runtime"
chmod 0755 "$directory"
cat >"$directory/sway.conf" <<CONF
xwayland disable
default_border none
output HEADLESS-1 mode 1920x1080 position 0 0 bg #204060 solid_color
CONF
env -u DISPLAY -u WAYLAND_DISPLAY XDG_RUNTIME_DIR="$sway_runtime" HOME="$sway_runtime" \
  WLR_BACKENDS=headless WLR_LIBINPUT_NO_DEVICES=1 WLR_RENDERER=pixman \
  setpriv --reuid=65534 --regid=65534 --clear-groups sway -c "$directory/sway.conf" >"$directory/sway.log" 2>&1 &
await "$sway_runtime/wayland-1"
tries=0
until ls "$sway_runtime"/sway-ipc.*.sock >/dev/null 2>&1; do
  tries=$((tries + 1))
  [ $tries -le 400 ] || { echo "session: sway made no IPC socket" >&2; exit 1; }
  sleep 0.05
done
WAYLAND_DISPLAY=$sway_runtime/wayland-1
SWAYSOCK=$(ls "$sway_runtime"/sway-ipc.*.sock)
export WAYLAND_DISPLAY SWAYSOCK

pipewire >"$directory/pipewire.log" 2>&1 &
await "$XDG_RUNTIME_DIR/pipewire-0"
wireplumber >"$directory/wireplumber.log" 2>&1 &

if [ "$screencast" = yes ]; then
  mkdir -p "$XDG_CONFIG_HOME/xdg-desktop-portal-wlr"
  cat >"$XDG_CONFIG_HOME/xdg-desktop-portal-wlr/config" <<CONF
[screencast]
chooser_type=none
output_name=HEADLESS-1
max_fps=30
CONF
  # Started here, before the portal: activated by D-Bus it would miss WAYLAND_DISPLAY.
  LD_PRELOAD=$shim /usr/libexec/xdg-desktop-portal-wlr >"$directory/portal-wlr.log" 2>&1 &
  # The portal must find it on the bus, or it would have D-Bus start another.
  await_name org.freedesktop.impl.portal.desktop.wlr
fi
if [ -n "$shortcuts" ]; then
  portals=$directory/portals
  mkdir -p "$portals"
  cp /usr/share/xdg-desktop-portal/portals/wlr.portal "$portals/"
  cat >"$portals/lumivanta-test.portal" <<CONF
[portal]
DBusName=org.lumivanta.TestShortcuts
Interfaces=org.freedesktop.impl.portal.GlobalShortcuts;
UseIn=sway
CONF
  export XDG_DESKTOP_PORTAL_DIR=$portals
  /usr/bin/python3 "$shortcuts" >"$directory/shortcuts.log" 2>&1 &
  tries=0
  until grep -q "bound to the bus" "$directory/shortcuts.log" 2>/dev/null; do
    tries=$((tries + 1))
    [ $tries -le 400 ] || { echo "session: the shortcuts backend did not start" >&2; exit 1; }
    sleep 0.05
  done
fi
/usr/libexec/xdg-desktop-portal >"$directory/portal.log" 2>&1 &

await_name org.freedesktop.portal.Desktop
if [ "$screencast" = yes ]; then
  tries=0
  until dbus-send --session --print-reply --dest=org.freedesktop.portal.Desktop /org/freedesktop/portal/desktop \
    org.freedesktop.DBus.Properties.Get string:org.freedesktop.portal.ScreenCast string:version >/dev/null 2>&1; do
    tries=$((tries + 1))
    [ $tries -le 400 ] || { echo "session: the portal offers no ScreenCast" >&2; exit 1; }
    sleep 0.05
  done
fi

echo "WAYLAND_DISPLAY=$WAYLAND_DISPLAY"
echo "SWAYSOCK=$SWAYSOCK"
echo "DBUS_SESSION_BUS_ADDRESS=$DBUS_SESSION_BUS_ADDRESS"
echo ready
exec sleep infinity
