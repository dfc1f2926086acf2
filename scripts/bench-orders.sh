#!/usr/bin/env bash
# Order recording under load: 50 handhelds send new 20-line orders to the real server for a fixed
# time (durable WAL database, no printers so that the figures measure recording), then the
# hand-written SQLite baseline does the same work for the same time. Prints both lines.
#   scripts/bench-orders.sh [BUILD] [SECONDS] [CLIENTS]
set -euo pipefail
build=${1:-build}
seconds=${2:-10}
clients=${3:-50}
work=$(mktemp -d)
trap 'kill "${server:-0}" 2>/dev/null || true; rm -rf "$work"' EXIT

"$build/tools/pliko-sql/pliko-sql" --create --demo "$work/server.db" >/dev/null
cp "$work/server.db" "$work/direct.db"
cat > "$work/plikoserver.ini" <<INI
[Software\\Orvanta\\Quillmark10\\Config]
LastDBPath=$work/server.db

[PlikoServer]
Locale=it_IT
PrinterBackend=spool
PrintSpoolDir=$work/spool
LogLevel=warning
INI
QT_QPA_PLATFORM=offscreen "$build/src/app/plikoserver" --headless --config "$work/plikoserver.ini" 2>"$work/server.log" &
server=$!
for _ in $(seq 50); do
  (exec 3<>/dev/tcp/127.0.0.1/31512) 2>/dev/null && break
  sleep 0.1
done
echo -n "server: "
"$build/tools/pliko-load/pliko-load" --clients "$clients" --duration "$seconds" --order-lines 20 --expect 'ComandaOK|'
kill "$server"; wait "$server" || true
"$build/bench/orders/pliko-orders-direct" "$work/direct.db" "$seconds" 20
