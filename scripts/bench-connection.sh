#!/usr/bin/env bash
# "TestConnessione" throughput: the bare Qt baseline server (no slots, log or database) and then
# the real server, each under the same handheld load.
#   scripts/bench-connection.sh [BUILD] [SECONDS] [CLIENTS]
set -euo pipefail
build=${1:-build}
seconds=${2:-10}
clients=${3:-50}
work=$(mktemp -d)
source "$(dirname "$0")/bench-lib.sh"
trap 'kill "${baseline:-0}" "${server:-0}" 2>/dev/null || true; rm -rf "$work"' EXIT

"$build/bench/server-baseline/pliko-server-baseline" 31513 >/dev/null 2>&1 &
baseline=$!
wait_port 31513
echo -n "baseline: "
"$build/tools/pliko-load/pliko-load" --port 31513 --clients "$clients" --duration "$seconds" --expect 'TestOK|'
kill "$baseline"; wait "$baseline" 2>/dev/null || true

start_demo_server "$build" "$work"
echo -n "server:   "
"$build/tools/pliko-load/pliko-load" --port 31512 --clients "$clients" --duration "$seconds" --expect 'TestOK|'
kill "$server"; wait "$server" 2>/dev/null || true
