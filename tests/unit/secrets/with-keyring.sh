#!/bin/sh
# Runs a program with a Secret Service of its own: a private D-Bus session
# and gnome-keyring in a throwaway home, its login keyring unlocked with a
# lab password. Nothing of the user's own session or keyring is touched.
set -eu
home="$(mktemp -d /tmp/orvkeyring.XXXXXX)"
trap 'rm -rf "$home"' EXIT INT TERM
mkdir -p "$home/data" "$home/run"
chmod 700 "$home/run"
export HOME="$home" XDG_DATA_HOME="$home/data" XDG_RUNTIME_DIR="$home/run"
unset DBUS_SESSION_BUS_ADDRESS DISPLAY
exec dbus-run-session -- sh -c '
  printf lab-keyring | gnome-keyring-daemon --unlock --components=secrets >/dev/null
  exec "$@"' sh "$@"
