#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# pliko-sql on the demo restaurant: a legacy query with TOP and a "*" wildcard, then a statement
# that fails, whose error must be printed exactly once.
set -eu
sql=$1
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
"$sql" --create --demo "$dir/r.db" </dev/null
"$sql" "$dir/r.db" "SELECT TOP 2 descrizione FROM magazzino WHERE descrizione LIKE '*a*pesce' OR descrizione LIKE 'birra*' ORDER BY codice"
if "$sql" "$dir/r.db" "SELECT nessuna FROM magazzino" 2>"$dir/err"; then
  echo "a failing statement exited 0"; exit 1
fi
cat "$dir/err"
errors=$(grep -c "nessuna" "$dir/err" || true)
echo "errors printed: $errors"
