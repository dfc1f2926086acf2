#!/usr/bin/env bash
# "TestConnessione" throughput: the bare Qt baseline server (no slots, log or database) and then
# the real server, each under the same handheld load.
#   scripts/bench-connection.sh [BUILD] [SECONDS] [CLIENTS]
set -euo pipefail
build=${1:-build}
seconds=${2:-10}
clients=${3:-50}
work=$(mktemp -d)
trap 'kill "${baseline:-0}" "${server:-0}" 2>/dev/null || true; rm -rf "$work"' EXIT

wait_port() {
  for _ in $(seq 50); do
    (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null && return 0
    sleep 0.1
  done
  return 1
}

"$build/bench/server-baseline/pliko-server-baseline" 31513 >/dev/null 2>&1 &
baseline=$!
wait_port 31513
echo -n "baseline: "
"$build/tools/pliko-load/pliko-load" --port 31513 --clients "$clients" --duration "$seconds" --expect 'TestOK|'
kill "$baseline"; wait "$baseline" 2>/dev/null || true

"$build/tools/pliko-sql/pliko-sql" --create --demo "$work/server.db" >/dev/null
cat > "$work/plikoserver.ini" <<INI
[Software\\Orvanta\\Quillmark10\\Config]
LastDBPath=$work/server.db

[PlikoServer]
Locale=it_IT
LogLevel=warning
INI
QT_QPA_PLATFORM=offscreen "$build/src/app/plikoserver" --headless --config "$work/plikoserver.ini" 2>"$work/server.log" &
server=$!
wait_port 31512
echo -n "server:   "
"$build/tools/pliko-load/pliko-load" --port 31512 --clients "$clients" --duration "$seconds" --expect 'TestOK|'
kill "$server"; wait "$server" 2>/dev/null || true
