#!/usr/bin/env bash
# Runs every benchmark of the project and prints their figures (no thresholds: these measure).
#   scripts/run-bench.sh [BUILD]
set -euo pipefail
build=${1:-build}
cd "$(dirname "$0")/.."
export QT_QPA_PLATFORM=offscreen

echo "== database class beside direct SQLite"
"$build/bench/db/bench_db"
echo "== synchronisation replies beside direct SQLite"
"$build/bench/sync/bench_sync"
echo "== radio link over a pseudo-terminal (poll, table list, 100 KB menu transfer)"
"$build/bench/nano/bench_nano"
echo "== printing"
"$build/bench/printing/bench_printing"
echo "== radio orders beside TCP orders, 15 lines, in-process with tickets"
"$build/bench/nano/bench_nano_orders"
echo "== order recording: 50 handhelds beside the hand-written baseline"
scripts/bench-orders.sh "$build" 10 50
echo "== TestConnessione: server beside the bare Qt baseline (50 handhelds)"
scripts/bench-connection.sh "$build" 10 50
echo "== PostgreSQL: database class beside hand-written libpq (20-line order, SincroArticoli)"
if [ -x "$build/bench/pg/bench_pg" ]; then "$build/bench/pg/bench_pg"; else echo "bench_pg not built (tests off)"; fi
# 127.0.0.2 and port 31512 in a network namespace of its own when one can be made.
echo "== PostgreSQL: two servers sharing one database, 25 handhelds each"
if [ "$(id -u)" = 0 ] && command -v unshare >/dev/null && unshare -n true 2>/dev/null; then
  unshare -n sh -c "ip link set lo up && scripts/bench-pg-servers.sh '$build' 10 25"
else
  scripts/bench-pg-servers.sh "$build" 10 25
fi
echo "== kitchen screens: order throughput with and without 20 screens, order to card p50/p99"
if [ "$(id -u)" = 0 ] && command -v unshare >/dev/null && unshare -n true 2>/dev/null; then
  unshare -n sh -c "ip link set lo up && scripts/bench-web.py '$build' 10 50 20"
else
  scripts/bench-web.py "$build" 10 50 20
fi
