#!/usr/bin/env bash
# "TestConnessione" while the database is held: during a 2-handheld order stream, the database stops
# answering for HOLD seconds, and one more handheld sends connection tests meanwhile. Prints the
# connection tests' p50/p99/max during the hold, then the order stream's figures.
#   scripts/bench-db-fault.sh [--postgres | --postgres-lock] [BUILD] [HOLD_SECONDS]
# SQLite (default): another program keeps the write lock, as a back office's long write does.
# --postgres: the server's database is a private PostgreSQL cluster, frozen (SIGSTOP) for the hold.
# --postgres-lock: the same cluster answers, but a back office holds LOCK TABLE comande (psql).
# PLIKOSERVER=/path/to/plikoserver measures another build's server with this build's tools (as every
# script that starts the demo server does).
set -euo pipefail
postgres=0
case "${1:-}" in
  --postgres) postgres=1; shift ;;
  --postgres-lock) postgres=2; shift ;;
esac
build=${1:-build}
hold=${2:-8}
work=$(mktemp -d)
source "$(dirname "$0")/bench-lib.sh"
frozen=()
cleanup() {
  [ ${#frozen[@]} -eq 0 ] || kill -CONT "${frozen[@]}" 2>/dev/null || true
  kill "${server:-0}" "${orders:-0}" "${lock:-0}" 2>/dev/null || true
  wait "${server:-0}" 2>/dev/null || true
  [ "$postgres" = 0 ] || stop_pg_cluster
  rm -rf "$work"
}
trap cleanup EXIT

if [ "$postgres" != 0 ]; then
  start_pg_cluster || exit 0
  "$build/tools/pliko-sql/pliko-sql" "postgresql:///postgres?host=$pg_work&port=$pg_port&user=postgres" \
    "CREATE DATABASE pliko" >/dev/null
  "$build/tools/pliko-sql/pliko-sql" --create --demo "$pg_uri" >/dev/null
  start_demo_server "$build" "$work" 0 "" "$pg_uri"
else
  start_demo_server "$build" "$work"
fi
"$build/tools/pliko-load/pliko-load" --clients 2 --duration "$((hold + 4))" --order-lines 3 --expect 'ComandaOK|' \
  >"$work/orders.txt" &
orders=$!
sleep 1
if [ "$postgres" = 1 ]; then
  # The postmaster and every backend stop answering, as a host that froze.
  postmaster=$(head -n 1 "$pg_data/postmaster.pid")
  frozen=("$postmaster" $(pgrep -P "$postmaster" || true))
  kill -STOP "${frozen[@]}"
  (sleep "$hold"; kill -CONT "${frozen[@]}") &
  lock=$!
  what="PostgreSQL frozen"
elif [ "$postgres" = 2 ]; then
  printf 'BEGIN; LOCK TABLE comande; SELECT pg_sleep(%s); COMMIT;\n' "$hold" | psql -q "$pg_uri" >/dev/null &
  lock=$!
  what="LOCK TABLE comande held"
else
  # The lock is taken and held by the sqlite3 shell: BEGIN IMMEDIATE, a pause, then the rollback.
  printf '.timeout 5000\nBEGIN IMMEDIATE;\n.shell sleep %s\nROLLBACK;\n' "$hold" | sqlite3 "$work/server.db" &
  lock=$!
  what="write lock held"
fi
sleep 0.3
echo -n "TestConnessione, $what ${hold} s: "
"$build/tools/pliko-load/pliko-load" --clients 1 --duration "$((hold - 1))" --expect 'TestOK|'
wait "$lock"
frozen=()
wait "$orders"
echo -n "orders (2 handhelds, 3 lines, over the whole run): "
cat "$work/orders.txt"
