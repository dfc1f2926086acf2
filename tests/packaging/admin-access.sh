#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Who may use the control socket of a server that runs as a system user (as the service does): its
# own user and root, and members of the plikoserver group when the server runs as that group (the
# socket is then 0660); any other user is refused. Needs root to change users; the plikoserver group
# is created for the test when the machine lacks it, and removed again.
set -euo pipefail
build=$1
[ "$(id -u)" = 0 ] || { echo "needs root to run the server as another user"; exit 77; }
work=$(mktemp -d)
chmod 755 "$work"
made_group=
server_pid=
cleanup() {
  if [ -n "$server_pid" ]; then kill "$server_pid" 2>/dev/null || true; wait "$server_pid" 2>/dev/null || true; fi
  [ -z "$made_group" ] || groupdel plikoserver
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; cat "$work/server.log" >&2 2>/dev/null || true; exit 1; }
getent group plikoserver >/dev/null || { groupadd --system plikoserver && made_group=1; }

mkdir -p "$work/data" "$work/run"
"$build/tools/pliko-sql/pliko-sql" --create --demo "$work/data/restaurant.db" >/dev/null
chown -R nobody:plikoserver "$work/data" "$work/run"
chmod 700 "$work/run"
chmod 750 "$work/data"
cat > "$work/plikoserver.ini" <<INI
[Software\\Orvanta\\Quillmark10\\Config]
LastDBPath=$work/data/restaurant.db
[PlikoServer]
Locale=it_IT
ControlSocket=$work/run/plikoserver.sock
INI
. "$(dirname "$0")/netns.sh"
run bash -c '
  build=$1 work=$2
  as() { local u=$1 g=$2; shift 2; setpriv --reuid="$u" --regid="$g" --clear-groups "$@"; }
  HOME=$work QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR=$work/run \
    setpriv --reuid=nobody --regid=plikoserver --clear-groups "$build/src/app/plikoserver" --headless --config "$work/plikoserver.ini" 2>"$work/server.log" &
  pid=$!
  for _ in $(seq 1 100); do [ -S "$work/run/plikoserver.sock" ] && break; sleep 0.1; done
  ctl() { "$@" "$build/tools/pliko-ctl/pliko-ctl" --socket "$work/run/plikoserver.sock" status >/dev/null 2>&1; }
  chmod 755 "$work/run" # the folder as the service unit leaves it to the group (the socket decides)
  status=0
  [ "$(stat -c %a:%G "$work/run/plikoserver.sock")" = 660:plikoserver ] || { echo "socket mode"; status=1; }
  ctl env || { echo "root refused"; status=1; }
  ctl as daemon plikoserver || { echo "a member of the group refused"; status=1; }
  ! ctl as daemon daemon || { echo "another user let in"; status=1; }
  kill -TERM $pid; wait $pid || true
  exit $status
' access "$build" "$work" || fail "control socket access"
echo "root and the plikoserver group reach the service's control socket; other users do not"
