#!/usr/bin/env bash
# A private PostgreSQL server in a folder of its own, reached only through a Unix socket in that folder:
# the tests' (tests/support/PgCluster) and the benchmarks' (scripts/bench-lib.sh). As root, the server runs
# as "nobody" (PostgreSQL refuses root), in a folder handed to that user.
#   pg-cluster.sh check                        prints why no cluster can run here (exit 2), else nothing
#   pg-cluster.sh start DIR PORT [FSYNC]       makes the cluster in DIR/data on first use (fsync off by
#                                              default: a test's cluster is thrown away) and starts it
#   pg-cluster.sh stop DIR [fast|immediate]    immediate stops it as a crash would
#   pg-cluster.sh watch DIR                    waits for its input to close: unless it read "done", the
#                                              process that made DIR is gone, so the server is stopped as
#                                              a crash would stop it and DIR removed
# The caller's PG* settings never steer the private cluster.
set -uo pipefail

bindir() {
  if command -v initdb >/dev/null && command -v pg_ctl >/dev/null; then
    dirname "$(command -v initdb)"
  else
    ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -n 1
  fi
}

check() {
  bin=$(bindir)
  if [ -z "$bin" ] || [ ! -x "$bin/initdb" ] || [ ! -x "$bin/pg_ctl" ]; then
    echo "PostgreSQL server programs (initdb, pg_ctl) not found in PATH or /usr/lib/postgresql/*/bin"
    exit 2
  fi
  if [ "$(id -u)" = 0 ] && { ! id nobody >/dev/null 2>&1 || ! command -v setpriv >/dev/null; }; then
    echo "running as root without the user nobody or setpriv (util-linux) to run PostgreSQL as"
    exit 2
  fi
}

# Runs a PostgreSQL program as the cluster's owner, in the cluster's folder.
as_owner() {
  local owner=()
  [ "$(id -u)" = 0 ] && owner=(setpriv --reuid=nobody --regid="$(id -g nobody)" --clear-groups --)
  (cd "$dir" && env -u PGHOST -u PGPORT -u PGDATABASE -u PGUSER -u PGPASSWORD -u PGSERVICE LC_ALL=C \
    "${owner[@]}" "$@" </dev/null)
}

server_gone() { [ ! -d "/proc/$1" ] || grep -q '^State:.*Z' "/proc/$1/status" 2>/dev/null; }

cmd=${1:-}
dir=${2:-}
case "$cmd" in
  check) check ;;
  start)
    check >&2 || exit 2
    bin=$(bindir)
    if [ ! -d "$dir/data" ]; then
      if [ "$(id -u)" = 0 ]; then chown nobody: "$dir" && chmod 755 "$dir" || exit 1; fi
      as_owner "$bin/initdb" -D "$dir/data" -U postgres -A trust -E UTF8 --locale=C --no-sync >/dev/null || exit 1
      cat >>"$dir/data/postgresql.conf" <<CONF
listen_addresses = ''
unix_socket_directories = '$dir'
port = $3
fsync = ${4:-off}
max_connections = 100
CONF
    fi
    as_owner "$bin/pg_ctl" start -w -t 60 -D "$dir/data" -l "$dir/server.log" >/dev/null || exit 1
    # pg_ctl has seen the server ready; the socket proves it is where the address says.
    for _ in $(seq 600); do
      [ -S "$dir/.s.PGSQL.$3" ] && exit 0
      sleep 0.1
    done
    echo "the server does not listen at $dir/.s.PGSQL.$3" >&2
    exit 1
    ;;
  stop)
    pid=$(head -n 1 "$dir/data/postmaster.pid" 2>/dev/null)
    as_owner "$(bindir)/pg_ctl" stop -w -t 60 -D "$dir/data" -m "${3:-fast}" >/dev/null || exit 1
    # pg_ctl returns once the pid file is gone, a moment before the process ends.
    for _ in $(seq 600); do
      { [ -z "$pid" ] || server_gone "$pid"; } && exit 0
      sleep 0.1
    done
    echo "the server (process $pid) is still there after its stop" >&2
    exit 1
    ;;
  watch)
    read -r word
    [ "$word" = done ] && exit 0
    pid=$(head -n 1 "$dir/data/postmaster.pid" 2>/dev/null)
    if [ -n "$pid" ] && tr '\0' ' ' <"/proc/$pid/cmdline" 2>/dev/null | grep -qF -- "$dir"; then
      kill -QUIT "$pid" 2>/dev/null
      for _ in $(seq 100); do
        server_gone "$pid" && break
        sleep 0.1
      done
      kill -KILL "$pid" 2>/dev/null
    fi
    rm -rf "$dir"
    ;;
  *)
    echo "usage: pg-cluster.sh check | start DIR PORT [FSYNC] | stop DIR [fast|immediate] | watch DIR" >&2
    exit 64
    ;;
esac
