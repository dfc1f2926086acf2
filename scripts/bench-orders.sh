#!/usr/bin/env bash
# Order recording under load: 50 handhelds send new 20-line orders to the real server for a fixed
# time (durable WAL database), then the hand-written SQLite baseline does the same work for the same
# time. Prints both lines.
#   scripts/bench-orders.sh [--printers] [--tmpfs] [BUILD] [SECONDS] [CLIENTS]
# --printers: every zone has a spool printer, so each order also journals and prints its tickets
#             (the baseline does not print); adds the count of tickets printed.
# --tmpfs:    the databases live in /dev/shm, so that the CPU rather than the disk flush decides.
set -euo pipefail
printers=0
base=${TMPDIR:-/tmp}
while [ $# -gt 0 ]; do
  case $1 in
    --printers) printers=1; shift ;;
    --tmpfs) base=/dev/shm; shift ;;
    *) break ;;
  esac
done
build=${1:-build}
seconds=${2:-10}
clients=${3:-50}
work=$(mktemp -d -p "$base")
source "$(dirname "$0")/bench-lib.sh"
trap 'kill "${server:-0}" 2>/dev/null || true; rm -rf "$work"' EXIT

"$build/tools/pliko-sql/pliko-sql" --create --demo "$work/direct.db" >/dev/null
start_demo_server "$build" "$work" "$printers"
echo -n "server: "
"$build/tools/pliko-load/pliko-load" --clients "$clients" --duration "$seconds" --order-lines 20 --expect 'ComandaOK|'
sleep 1 # the last orders' tickets
kill "$server"; wait "$server" || true
if [ "$printers" = 1 ]; then
  echo "tickets printed: $(find "$work/spool" -name '*.pdf' | wc -l)"
fi
"$build/bench/orders/pliko-orders-direct" "$work/direct.db" "$seconds" 20
