#!/usr/bin/env bash
# Order recording under load: 50 handhelds send new 20-line orders to the real server for a fixed
# time (durable WAL database), then the hand-written SQLite baseline does the same work for the same
# time. Prints both lines.
#   scripts/bench-orders.sh [--printers] [--tmpfs] [BUILD] [SECONDS] [CLIENTS]
# --printers: every zone has a spool printer, so each order also journals and prints its tickets
#             (the baseline does not print); adds the count of tickets printed.
# --tmpfs:    the databases live in /dev/shm, so that the CPU rather than the disk flush decides.
# Each line ends with the CPU time (user + system) its process spent per order.
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
# " cpu=X.XXXms/order": SECONDS of CPU time over the ORDERS found as KEY=N in TEXT.
cpu_per_order() {
  awk -v s="$1" -v key="$3" '{
    for (i = 1; i <= NF; i++) if (index($i, key "=") == 1) n = substr($i, length(key) + 2)
  } END { if (n > 0) printf " cpu=%.3fms/order", s * 1000 / n }' <<<"$2"
}
cpu_seconds() { awk -v hz="$(getconf CLK_TCK)" '{ print ($14 + $15) / hz }' "/proc/$1/stat"; }
before=$(cpu_seconds "$server")
load=$("$build/tools/pliko-load/pliko-load" --clients "$clients" --duration "$seconds" --order-lines 20 --expect 'ComandaOK|')
sleep 1 # the last orders' tickets
used=$(awk -v a="$(cpu_seconds "$server")" -v b="$before" 'BEGIN { print a - b }')
echo "server: $load$(cpu_per_order "$used" "$load" requests)"
kill "$server"; wait "$server" || true
if [ "$printers" = 1 ]; then
  echo "tickets printed: $(find "$work/spool" -name '*.pdf' | wc -l)"
fi
TIMEFORMAT='%U %S' # the shell's own timer: user and system seconds
direct=$( { time "$build/bench/orders/pliko-orders-direct" "$work/direct.db" "$seconds" 20; } 2>"$work/direct.time")
echo "$direct$(cpu_per_order "$(tail -n 1 "$work/direct.time" | awk '{ print $1 + $2 }')" "$direct" orders)"
