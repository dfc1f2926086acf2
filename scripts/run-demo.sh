#!/usr/bin/env bash
# Starts plikoserver on its embedded default: on the first run it creates its configuration in the
# user's configuration folder (~/.config/plikoserver/plikoserver.ini) with the demo restaurant
# database and spool-folder printers in ~/.local/share/plikoserver, then serves the handhelds on
# port 31512. Extra arguments go to the server (e.g. --headless). Ctrl-C ends it cleanly.
set -euo pipefail
build=${1:-build}
server="$build/src/app/plikoserver"
if [ ! -x "$server" ]; then
  echo "plikoserver is not built in $build (run: make build)" >&2
  exit 1
fi
config="${XDG_CONFIG_HOME:-$HOME/.config}/plikoserver/plikoserver.ini"
if [ -f "$config" ]; then
  echo "Configuration: $config"
else
  echo "First run: the configuration and the demo restaurant will be created at $config"
fi
echo "Handhelds: port 31512. Try: exec 3<>/dev/tcp/127.0.0.1/31512; printf 'PALM01|TestConnessione|\\r' >&3; cat <&3"
exec "$server" "${@:2}"
