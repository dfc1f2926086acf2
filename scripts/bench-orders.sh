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
source "$(dirname "$0")/bench-lib.sh"
trap 'kill "${server:-0}" 2>/dev/null || true; rm -rf "$work"' EXIT

"$build/tools/pliko-sql/pliko-sql" --create --demo "$work/direct.db" >/dev/null
start_demo_server "$build" "$work"
echo -n "server: "
"$build/tools/pliko-load/pliko-load" --clients "$clients" --duration "$seconds" --order-lines 20 --expect 'ComandaOK|'
kill "$server"; wait "$server" || true
"$build/bench/orders/pliko-orders-direct" "$work/direct.db" "$seconds" 20
