#!/usr/bin/env bash
# Runs every fuzz target of a fuzz build for a number of seconds each.
#   scripts/run-fuzz.sh BUILD_DIR [SECONDS]
# Each target starts from its seed corpus (fuzz/corpus/<target>, read only) and writes what it
# learns to BUILD_DIR/corpus/<target>; a crash, leak or time-out stops with its input saved under
# BUILD_DIR/findings/<target>/ and a non-zero exit.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:?usage: run-fuzz.sh BUILD_DIR [SECONDS]}
seconds=${2:-30}
export QT_QPA_PLATFORM=offscreen
status=0
for target in fuzz_handheld_request fuzz_order_text fuzz_sync_commands fuzz_legacy_sql fuzz_report_layout \
              fuzz_nano_parsing fuzz_ap_frame fuzz_nano_messages; do
  bin="$build/fuzz/$target"
  [ -x "$bin" ] || { echo "run-fuzz: $bin missing" >&2; exit 1; }
  work="$build/corpus/$target"
  findings="$build/findings/$target"
  mkdir -p "$work" "$findings"
  echo "== $target: ${seconds}s"
  if ! ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
       "$bin" -seed="${FUZZ_SEED:-0}" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=4096 -max_len=8192 -print_final_stats=1 \
         -artifact_prefix="$findings/" "$work" "fuzz/corpus/$target" 2>"$build/$target.log"; then
    tail -n 60 "$build/$target.log" >&2
    echo "run-fuzz: $target found a fault; input saved in $findings/" >&2
    status=1
  else
    grep -E '^(stat::number_of_executed_units|stat::new_units_added)' "$build/$target.log" || true
  fi
done
exit $status
