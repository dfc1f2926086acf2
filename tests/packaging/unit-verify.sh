#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# systemd-analyze verify on the service unit as it is installed (exit 77: skipped, with the reason).
set -euo pipefail
build=$1
unit="$build/packaging/plikoserver.service"
if ! command -v systemd-analyze >/dev/null; then
  echo "skipped: systemd-analyze is not installed (package systemd)"
  exit 77
fi
[ -f "$unit" ] || { echo "FAIL: $unit not configured" >&2; exit 1; }
# The unit names the installed program; verify it against the built one in a scratch copy.
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
prefix=$(sed -n 's/^CMAKE_INSTALL_PREFIX:PATH=//p' "$build/CMakeCache.txt")
sed "s#^ExecStart=$prefix/bin/plikoserver#ExecStart=$(realpath "$build/src/app/plikoserver")#" "$unit" \
  > "$dir/plikoserver.service"
out=$(SYSTEMD_LOG_LEVEL=warning systemd-analyze verify --man=no "$dir/plikoserver.service" 2>&1) || status=$?
status=${status:-0}
echo "$out"
# Without a running systemd, verify still parses and checks every setting; what it cannot know
# (the system's own units) is not the unit's fault.
if [ "$status" -ne 0 ] || echo "$out" | grep -E "plikoserver.service:[0-9]+:|Unknown|Failed to parse|Invalid" >/dev/null; then
  echo "FAIL: systemd-analyze verify reported problems in the unit" >&2
  exit 1
fi
echo "unit verified"
