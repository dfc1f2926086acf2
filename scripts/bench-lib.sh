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

# start_pg_cluster: a private PostgreSQL cluster (scripts/pg-cluster.sh) in a temporary folder, with fsync on
# unless PLIKO_BENCH_PG_FSYNC=off. Sets pg_work, pg_data, pg_port and pg_uri (database "pliko", not created
# yet). Returns 1, with a note, when no cluster can run here.
start_pg_cluster() {
  local why
  if ! why=$("$(dirname "${BASH_SOURCE[0]}")/pg-cluster.sh" check); then
    echo "$why, skipped" >&2
    return 1
  fi
  # Short path: the socket's address must stay within 107 bytes.
  pg_work=$(mktemp -d /tmp/pliko-pgbench-XXXXXX)
  pg_port=55432
  pg_data=$pg_work/data
  "$(dirname "${BASH_SOURCE[0]}")/pg-cluster.sh" start "$pg_work" "$pg_port" "${PLIKO_BENCH_PG_FSYNC:-on}"
  pg_uri="postgresql:///pliko?host=$pg_work&port=$pg_port&user=postgres"
}

stop_pg_cluster() {
  [ -n "${pg_work:-}" ] || return 0
  if [ -f "$pg_data/postmaster.pid" ]; then
    "$(dirname "${BASH_SOURCE[0]}")/pg-cluster.sh" stop "$pg_work" fast >/dev/null 2>&1 || true
  fi
  rm -rf "$pg_work"
}
