# Shared by the benchmark scripts (sourced): a demo restaurant and a running server in a work folder.

# Waits until something listens on a local port (5 s at most).
wait_port() {
  for _ in $(seq 50); do
    (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null && return 0
    sleep 0.1
  done
  return 1
}

# start_demo_server BUILD WORK [PRINTERS [BINARY [DATABASE]]]: creates WORK/server.db (the demo
# restaurant) unless DATABASE names one already made, and a configuration, without printers unless
# PRINTERS is 1 (then every zone prints on its own spool printer); starts plikoserver headless on port
# 31512 and sets $server to its pid. The server is BINARY, else $PLIKOSERVER, else BUILD's (another
# build's server measured with this build's tools).
start_demo_server() {
  local build=$1 work=$2 printers=${3:-0} binary=${4:-${PLIKOSERVER:-$1/src/app/plikoserver}} database=${5:-} zones=""
  if [ -z "$database" ]; then
    database=$work/server.db
    "$build/tools/pliko-sql/pliko-sql" --create --demo "$database" >/dev/null
  fi
  if [ "$printers" = 1 ]; then
    for z in cassa cucina pizzeria bar; do
      mkdir -p "$work/spool/$z"
      zones+="zona_ristorante_$z=$z|9"$'\n'
    done
  fi
  cat > "$work/plikoserver.ini" <<INI
[Software\\Orvanta\\Quillmark10\\Config]
LastDBPath=$database
$zones
[PlikoServer]
Locale=it_IT
PrinterBackend=spool
PrintSpoolDir=$work/spool
LogLevel=warning
INI
  QT_QPA_PLATFORM=offscreen "$binary" --headless --config "$work/plikoserver.ini" \
    2>"$work/server.log" &
  server=$!
  wait_port 31512
}

# start_pg_cluster: a private PostgreSQL cluster in a temporary folder (Unix socket only; fsync on unless
# PLIKO_BENCH_PG_FSYNC=off), run by nobody when we are root (PostgreSQL refuses root). Sets pg_work,
# pg_data, pg_port, pg_uri (database "pliko", not created yet) and pg_owner (the command prefix that runs
# as the cluster's owner). Returns 1, with a note, when initdb and pg_ctl are not installed.
start_pg_cluster() {
  local pgbin=
  if command -v initdb >/dev/null && command -v pg_ctl >/dev/null; then
    pgbin=$(dirname "$(command -v initdb)")
  elif command -v pg_config >/dev/null && [ -x "$(pg_config --bindir)/initdb" ]; then
    pgbin=$(pg_config --bindir)
  else
    pgbin=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -n 1)
  fi
  if [ -z "$pgbin" ] || [ ! -x "$pgbin/initdb" ] || [ ! -x "$pgbin/pg_ctl" ]; then
    echo "PostgreSQL server programs (initdb, pg_ctl) not found, skipped" >&2
    return 1
  fi
  pg_bin=$pgbin
  # Short path: the socket's address must stay within 107 bytes.
  pg_work=$(mktemp -d /tmp/pliko-pgbench-XXXXXX)
  chmod 755 "$pg_work"
  pg_owner=()
  if [ "$(id -u)" = 0 ]; then
    chown nobody: "$pg_work"
    pg_owner=(setpriv --reuid=nobody --regid="$(id -g nobody)" --clear-groups --)
  fi
  pg_port=55432
  pg_data=$pg_work/data
  pg_as_owner "$pg_bin/initdb" -D "$pg_data" -U postgres -A trust -E UTF8 --locale=C >/dev/null
  cat >> "$pg_data/postgresql.conf" <<CONF
listen_addresses = ''
unix_socket_directories = '$pg_work'
port = $pg_port
max_connections = 100
fsync = ${PLIKO_BENCH_PG_FSYNC:-on}
CONF
  pg_as_owner "$pg_bin/pg_ctl" start -w -t 60 -D "$pg_data" -l "$pg_work/postgres.log" >/dev/null
  pg_uri="postgresql:///pliko?host=$pg_work&port=$pg_port&user=postgres"
}

pg_as_owner() { (cd "$pg_work" && env -u PGHOST -u PGPORT -u PGDATABASE -u PGUSER LC_ALL=C "${pg_owner[@]}" "$@"); }

stop_pg_cluster() {
  [ -n "${pg_work:-}" ] || return 0
  if [ -f "$pg_data/postmaster.pid" ]; then
    pg_as_owner "$pg_bin/pg_ctl" stop -w -D "$pg_data" -m fast >/dev/null 2>&1 || true
  fi
  rm -rf "$pg_work"
}
