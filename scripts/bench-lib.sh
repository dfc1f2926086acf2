# Shared by the benchmark scripts (sourced): a demo restaurant and a running server in a work folder.

# Waits until something listens on a local port (5 s at most).
wait_port() {
  for _ in $(seq 50); do
    (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null && return 0
    sleep 0.1
  done
  return 1
}

# start_demo_server BUILD WORK [PRINTERS [BINARY]]: creates WORK/server.db (the demo restaurant) and a
# configuration, without printers unless PRINTERS is 1 (then every zone prints on its own spool printer),
# starts plikoserver headless on port 31512 and sets $server to its pid. The server is BINARY, else
# $PLIKOSERVER, else BUILD's (another build's server measured with this build's tools).
start_demo_server() {
  local build=$1 work=$2 printers=${3:-0} binary=${4:-${PLIKOSERVER:-$1/src/app/plikoserver}} zones=""
  "$build/tools/pliko-sql/pliko-sql" --create --demo "$work/server.db" >/dev/null
  if [ "$printers" = 1 ]; then
    for z in cassa cucina pizzeria bar; do
      mkdir -p "$work/spool/$z"
      zones+="zona_ristorante_$z=$z|9"$'\n'
    done
  fi
  cat > "$work/plikoserver.ini" <<INI
[Software\\Orvanta\\Quillmark10\\Config]
LastDBPath=$work/server.db
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
