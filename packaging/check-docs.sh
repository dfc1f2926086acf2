#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# The [PlikoServer] options of data/plikoserver.ini (the sample with every default) and of the options
# table of docs/configuration.md (the source of plikoserver.ini(5)) are the same names.
#   check-docs.sh SOURCE_DIR
set -eu
src=$1
sample=$(sed -n '/^\[PlikoServer\]/,$p' "$src/data/plikoserver.ini" | sed -n 's/^;\{0,1\}\([A-Za-z]*\)=.*/\1/p' | sort -u)
guide=$(sed -n '/^### `\[PlikoServer\]`/,/^## /p' "$src/docs/configuration.md" \
  | sed -n 's/^| `\([A-Za-z]*\)` |.*/\1/p' | grep -v '^Option$' | sort -u)
if [ "$sample" != "$guide" ]; then
  echo "data/plikoserver.ini and docs/configuration.md list different [PlikoServer] options:" >&2
  printf '%s\n' "$sample" > /tmp/check-docs.$$.a; printf '%s\n' "$guide" > /tmp/check-docs.$$.b
  diff /tmp/check-docs.$$.a /tmp/check-docs.$$.b >&2 || true
  rm -f /tmp/check-docs.$$.a /tmp/check-docs.$$.b
  exit 1
fi
echo "$(echo "$sample" | wc -l) options agree"
