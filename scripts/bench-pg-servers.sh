#!/usr/bin/env bash
# Two servers sharing one PostgreSQL database: a private cluster in a temporary folder (Unix socket
# only; fsync and synchronous commit on unless PLIKO_BENCH_PG_FSYNC=off), the demo restaurant made in it, two
# headless servers on 127.0.0.1 and 127.0.0.2 (same port), and CLIENTS handhelds sending new 20-line
# orders to each server at the same time for SECONDS. Prints each server's line and the total.
#   scripts/bench-pg-servers.sh [BUILD] [SECONDS] [CLIENTS]
# Needs 127.0.0.2 on the loopback and port 31512 free: run it in a network namespace of its own,
#   unshare -n sh -c 'ip link set lo up && scripts/bench-pg-servers.sh build 10 25'
set -euo pipefail
build=${1:-build}
seconds=${2:-10}
clients=${3:-25}

source "$(dirname "$0")/bench-lib.sh"
servers=()
cleanup() {
  for pid in "${servers[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${servers[@]}"; do wait "$pid" 2>/dev/null || true; done
  stop_pg_cluster
}
trap cleanup EXIT
start_pg_cluster || exit 0
work=$pg_work
port=$pg_port
uri=$pg_uri
"$build/tools/pliko-sql/pliko-sql" "postgresql:///postgres?host=$work&port=$port&user=postgres" "CREATE DATABASE pliko" >/dev/null
"$build/tools/pliko-sql/pliko-sql" --create --demo "$uri" >/dev/null

# One server per loopback address, as start_demo_server starts one (no printers).
for n in 1 2; do
  dir=$work/server$n
  mkdir -p "$dir/spool"
  cat > "$dir/plikoserver.ini" <<INI
[Software\\Orvanta\\Quillmark10\\Config]
LastDBPath=$uri

[PlikoServer]
Locale=it_IT
ListenAddress=127.0.0.$n
PrinterBackend=spool
PrintSpoolDir=$dir/spool
ControlSocket=$dir/control.sock
LogLevel=warning
INI
  QT_QPA_PLATFORM=offscreen "$build/src/app/plikoserver" --headless --config "$dir/plikoserver.ini" \
    2>"$dir/server.log" &
  servers+=($!)
done
for n in 1 2; do
  for _ in $(seq 100); do
    (exec 3<>"/dev/tcp/127.0.0.$n/31512") 2>/dev/null && break
    sleep 0.1
  done
done

# Each load gets its own range of opening moments, so that every request records a new order.
for n in 1 2; do
  "$build/tools/pliko-load/pliko-load" --host "127.0.0.$n" --clients "$clients" --duration "$seconds" \
    --order-lines 20 --first-order $((n * 10000000)) --expect 'ComandaOK|' >"$work/load$n.txt" &
  loads[n]=$!
done
status=0
for n in 1 2; do wait "${loads[n]}" || status=1; done
total=0
for n in 1 2; do
  line=$(cat "$work/load$n.txt")
  echo "server 127.0.0.$n: $line"
  rps=$(sed -n 's/.* rps=\([0-9]*\).*/\1/p' <<<"$line")
  total=$((total + ${rps:-0}))
done
orders=$("$build/tools/pliko-sql/pliko-sql" "$uri" "SELECT count(*) FROM comande" 2>/dev/null | tail -n 1 || true)
echo "total: orders/s=$total (orders in the database: $orders)"
for n in 1 2; do
  if grep -q . "$work/server$n/server.log"; then
    echo "server 127.0.0.$n log:" >&2
    tail -n 5 "$work/server$n/server.log" >&2
  fi
done
exit $status
