#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs the build into a scratch root (DESTDIR), creates the demo restaurant with the installed
# pliko-sql, and starts the installed plikoserver headless on the installed configuration (its
# paths moved into the scratch root): it answers a handheld and prints a kitchen note with the
# installed report layouts.
set -euo pipefail
build=$1
root=$(mktemp -d)
server_pid=
cleanup() {
  if [ -n "$server_pid" ]; then kill "$server_pid" 2>/dev/null || true; wait "$server_pid" 2>/dev/null || true; fi
  rm -rf "$root"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; [ -f "$root/server.log" ] && cat "$root/server.log" >&2; exit 1; }

DESTDIR="$root" cmake --install "$build" >/dev/null
prefix=$(sed -n 's/^CMAKE_INSTALL_PREFIX:PATH=//p' "$build/CMakeCache.txt")
inst="$root$prefix"
for f in bin/plikoserver bin/pliko-sql share/plikoserver/stampeRestaurant.xml share/plikoserver/plikoserver.ini \
         share/applications/plikoserver.desktop share/icons/hicolor/scalable/apps/plikoserver.svg \
         lib/systemd/system/plikoserver.service lib/sysusers.d/plikoserver.conf; do
  [ -e "$inst/$f" ] || fail "not installed: $prefix/$f"
done
[ -f "$root/etc/plikoserver/plikoserver.ini" ] || fail "not installed: /etc/plikoserver/plikoserver.ini"
[ ! -e "$inst/bin/stampeRestaurant.xml" ] || fail "layouts belong in share/plikoserver, not beside the program"
grep -q "^ExecStart=$prefix/bin/plikoserver --headless --config /etc/plikoserver/plikoserver.ini" \
  "$inst/lib/systemd/system/plikoserver.service" || fail "the unit does not start the installed program"

# The installed configuration, its state folder moved into the scratch root.
state="$root/var/lib/plikoserver"
mkdir -p "$state/spool"/{Cassa,Cucina,Pizzeria,Bar}
config="$root/plikoserver.ini"
sed "s#/var/lib/plikoserver#$state#g" "$root/etc/plikoserver/plikoserver.ini" > "$config"
"$inst/bin/pliko-sql" --create --demo "$state/restaurant.db" >/dev/null || fail "pliko-sql --create"
"$inst/bin/plikoserver" --check-config --config "$config" || fail "the installed configuration does not check"

. "$(dirname "$0")/netns.sh"
# One shell inside the namespace runs the server and speaks to it.
run bash -c '
  set -u
  inst=$1; config=$2; state=$3; log=$4
  QT_QPA_PLATFORM=offscreen "$inst/bin/plikoserver" --headless --config "$config" 2>"$log" &
  pid=$!
  for _ in $(seq 1 150); do grep -q 31512 "$log" && break; sleep 0.1; done
  reply=$(exec 3<>/dev/tcp/127.0.0.1/31512; printf "PALM01|TestConnessione|\r" >&3; timeout 5 cat <&3; exec 3<&-)
  [ "$reply" = $'"'"'TestOK|\r'"'"' ] || { echo "no TestOK: [$reply]" >&2; kill $pid; exit 1; }
  reply=$(exec 3<>/dev/tcp/127.0.0.1/31512; printf "PALM01|NotaLibera|Mario|Allergia noci|2\r" >&3; timeout 5 cat <&3; exec 3<&-)
  for _ in $(seq 1 100); do ls "$state"/spool/Cucina/*.txt >/dev/null 2>&1 && break; sleep 0.1; done
  kill -TERM $pid; wait $pid; status=$?
  grep -q "Allergia noci" "$state"/spool/Cucina/*.txt 2>/dev/null || { echo "no kitchen note printed [$reply]" >&2; exit 1; }
  exit $status
' smoke "$inst" "$config" "$state" "$root/server.log" || fail "the installed server did not serve"
echo "installed server started, answered and printed with the installed layouts"
