#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Each unit's exposure (systemd-analyze security, 0 safest to 10) is 2.5 at most. --offline came with
# systemd 250; older ones skip (exit 77).
#   check-units.sh UNIT...
set -eu
systemd-analyze security --help 2>/dev/null | grep -q -- --offline || { echo "skipped: systemd-analyze without --offline"; exit 77; }
for unit; do
  if ! out=$(systemd-analyze security --offline=true --threshold=25 --no-pager "$unit" 2>&1); then
    echo "$out" | grep -v '^✓' >&2
    echo "$unit: exposure above 2.5" >&2
    exit 1
  fi
  echo "$out" | tail -1
done
