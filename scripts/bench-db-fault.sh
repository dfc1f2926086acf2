#!/usr/bin/env bash
# "TestConnessione" while the database is held: during a 2-handheld order stream, another program
# keeps the SQLite write lock for HOLD seconds (as a back office's long write does). Prints the
# connection tests' p50/p99/max during the hold, then the order stream's figures.
#   scripts/bench-db-fault.sh [BUILD] [HOLD_SECONDS]
# PLIKOSERVER=/path/to/plikoserver measures another build's server with this build's tools (as every
# script that starts the demo server does).
set -euo pipefail
build=${1:-build}
hold=${2:-8}
work=$(mktemp -d)
source "$(dirname "$0")/bench-lib.sh"
trap 'kill "${server:-0}" "${orders:-0}" "${lock:-0}" 2>/dev/null || true; rm -rf "$work"' EXIT

start_demo_server "$build" "$work"
"$build/tools/pliko-load/pliko-load" --clients 2 --duration "$((hold + 4))" --order-lines 3 --expect 'ComandaOK|' \
  >"$work/orders.txt" &
orders=$!
sleep 1
# The lock is taken and held by the sqlite3 shell: BEGIN IMMEDIATE, a pause, then the rollback.
printf '.timeout 5000\nBEGIN IMMEDIATE;\n.shell sleep %s\nROLLBACK;\n' "$hold" | sqlite3 "$work/server.db" &
lock=$!
sleep 0.3
echo -n "TestConnessione, write lock held ${hold} s: "
"$build/tools/pliko-load/pliko-load" --clients 1 --duration "$((hold - 1))" --expect 'TestOK|'
wait "$lock"
wait "$orders"
echo -n "orders (2 handhelds, 3 lines, over the whole run): "
cat "$work/orders.txt"
kill "$server"; wait "$server" 2>/dev/null || true
