#!/bin/sh
# Starts a private headless Wayland session for the tests, in the order its
# parts need, and prints its addresses followed by "ready" on standard
# output; then waits until it is ended. Run under setsid and dbus-run-session,
# with HOME and the XDG folders in the session's own directory (the test
# harness does that). The desktop is one of:
#   sway   sway (as nobody) with the portal's wlr backend; the output starts in one colour
#   gnome  mutter with the portal's GNOME backend
#   kde    KWin with the portal's KDE backend
# all on a 1920x1080 output, with PipeWire and WirePlumber. The portal sees
# only that desktop's backends. With a shortcuts backend (a python script;
# sway only) the portal offers GlobalShortcuts through it.
#   session.sh <desktop> <directory> <screencast: yes|no> <preloaded library for the wlr backend> [<shortcuts backend>]
set -eu
desktop=$1
directory=$2
screencast=$3
shim=$4
shortcuts=${5:-}

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

portals=$directory/portals
mkdir -p "$portals"
export XDG_DESKTOP_PORTAL_DIR=$portals
case $desktop in
sway)
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
    setpriv --reuid=65534 --regid=65534 --clear-groups sway -c "$directory/sway.conf" >"$directory/compositor.log" 2>&1 &
  await "$sway_runtime/wayland-1"
  tries=0
  until ls "$sway_runtime"/sway-ipc.*.sock >/dev/null 2>&1; do
    tries=$((tries + 1))
    [ $tries -le 400 ] || { echo "session: sway made no IPC socket" >&2; exit 1; }
    sleep 0.05
  done
  WAYLAND_DISPLAY=$sway_runtime/wayland-1
  SWAYSOCK=$(ls "$sway_runtime"/sway-ipc.*.sock)
  export SWAYSOCK
  [ "$screencast" = no ] || cp /usr/share/xdg-desktop-portal/portals/wlr.portal "$portals/"
  ;;
gnome)
  mutter --headless --wayland --no-x11 --virtual-monitor 1920x1080 >"$directory/compositor.log" 2>&1 &
  await "$XDG_RUNTIME_DIR/wayland-0"
  WAYLAND_DISPLAY=wayland-0
  cp /usr/share/xdg-desktop-portal/portals/gnome.portal /usr/share/xdg-desktop-portal/portals/gtk.portal "$portals/"
  ;;
kde)
  # A copy of KWin: the installed one carries a file capability that a
  # container may refuse. Fake input for the tests' keys needs no permission.
  cp /usr/bin/kwin_wayland "$directory/kwin_wayland"
  KWIN_WAYLAND_NO_PERMISSION_CHECKS=1 KWIN_COMPOSE=Q "$directory/kwin_wayland" --virtual --width 1920 --height 1080 \
    --no-lockscreen >"$directory/compositor.log" 2>&1 &
  await "$XDG_RUNTIME_DIR/wayland-0"
  WAYLAND_DISPLAY=wayland-0
  cp /usr/share/xdg-desktop-portal/portals/kde.portal "$portals/"
  ;;
esac
export WAYLAND_DISPLAY
# Services that D-Bus starts on demand (the permission store, the a11y bus,
# the portal's backends) see the session, not the machine's home.
dbus-update-activation-environment HOME XDG_RUNTIME_DIR XDG_CONFIG_HOME XDG_DATA_HOME XDG_STATE_HOME XDG_CACHE_HOME \
  XDG_CURRENT_DESKTOP XDG_SESSION_TYPE XDG_DESKTOP_PORTAL_DIR WAYLAND_DISPLAY

pipewire >"$directory/pipewire.log" 2>&1 &
await "$XDG_RUNTIME_DIR/pipewire-0"
wireplumber >"$directory/wireplumber.log" 2>&1 &

if [ "$screencast" = yes ]; then
  # Each backend is started here, before the portal: the portal must find it
  # on the bus, or it would have D-Bus start another.
  case $desktop in
  sway)
    mkdir -p "$XDG_CONFIG_HOME/xdg-desktop-portal-wlr"
    cat >"$XDG_CONFIG_HOME/xdg-desktop-portal-wlr/config" <<CONF
[screencast]
chooser_type=none
output_name=HEADLESS-1
max_fps=30
CONF
    LD_PRELOAD=$shim /usr/libexec/xdg-desktop-portal-wlr >"$directory/backend.log" 2>&1 &
    await_name org.freedesktop.impl.portal.desktop.wlr
    ;;
  gnome)
    /usr/libexec/xdg-desktop-portal-gnome >"$directory/backend.log" 2>&1 &
    await_name org.freedesktop.impl.portal.desktop.gnome
    ;;
  kde)
    QT_QPA_PLATFORM=wayland /usr/lib/x86_64-linux-gnu/libexec/xdg-desktop-portal-kde >"$directory/backend.log" 2>&1 &
    await_name org.freedesktop.impl.portal.desktop.kde
    ;;
  esac
fi
if [ -n "$shortcuts" ]; then
  cat >"$portals/lumivanta-test.portal" <<CONF
[portal]
DBusName=org.lumivanta.TestShortcuts
Interfaces=org.freedesktop.impl.portal.GlobalShortcuts;
UseIn=sway
CONF
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
[ "$desktop" != sway ] || echo "SWAYSOCK=$SWAYSOCK"
echo "DBUS_SESSION_BUS_ADDRESS=$DBUS_SESSION_BUS_ADDRESS"
echo ready
exec sleep infinity
