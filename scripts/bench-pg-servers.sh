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

# initdb and pg_ctl: the PATH, then pg_config's folder, then the newest Debian installation.
pgbin=
if command -v initdb >/dev/null && command -v pg_ctl >/dev/null; then
  pgbin=$(dirname "$(command -v initdb)")
elif command -v pg_config >/dev/null && [ -x "$(pg_config --bindir)/initdb" ]; then
  pgbin=$(pg_config --bindir)
else
  pgbin=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -n 1)
fi
if [ -z "$pgbin" ] || [ ! -x "$pgbin/initdb" ] || [ ! -x "$pgbin/pg_ctl" ]; then
  echo "bench-pg-servers: PostgreSQL server programs (initdb, pg_ctl) not found, skipped" >&2
  exit 0
fi

# Short path: the socket's address must stay within 107 bytes. PostgreSQL refuses to run as root,
# so then the cluster belongs to nobody.
work=$(mktemp -d /tmp/pliko-pgbench-XXXXXX)
chmod 755 "$work"
as_owner=()
if [ "$(id -u)" = 0 ]; then
  chown nobody: "$work"
  as_owner=(setpriv --reuid=nobody --regid="$(id -g nobody)" --clear-groups --)
fi
port=55432
data=$work/data
servers=()
cleanup() {
  for pid in "${servers[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${servers[@]}"; do wait "$pid" 2>/dev/null || true; done
  if [ -f "$data/postmaster.pid" ]; then
    (cd "$work" && "${as_owner[@]}" "$pgbin/pg_ctl" stop -w -D "$data" -m fast >/dev/null 2>&1) || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT

pg() { (cd "$work" && env -u PGHOST -u PGPORT -u PGDATABASE -u PGUSER LC_ALL=C "${as_owner[@]}" "$@"); }
pg "$pgbin/initdb" -D "$data" -U postgres -A trust -E UTF8 --locale=C >/dev/null
cat >> "$data/postgresql.conf" <<CONF
listen_addresses = ''
unix_socket_directories = '$work'
port = $port
max_connections = 100
fsync = ${PLIKO_BENCH_PG_FSYNC:-on}
CONF
pg "$pgbin/pg_ctl" start -w -t 60 -D "$data" -l "$work/postgres.log" >/dev/null
uri="postgresql:///pliko?host=$work&port=$port&user=postgres"
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
