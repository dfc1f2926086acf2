#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Renders one manual page from its Markdown source to compressed roff:
#   render.sh SOURCE.md OUTPUT.gz VERSION [CONFIGURATION.md]
# With CONFIGURATION.md, its section "The file" (the options and their defaults) takes the place of
# the line @CONFIGURATION@, so the manual page and the guide never disagree.
set -eu
source=$1 output=$2 version=$3 configuration=${4:-}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
if [ -n "$configuration" ]; then
  # From "## The file" up to the next level-2 heading, one heading level up.
  # Its tables become definition lists: terminals of 80 columns have no room for three columns.
  awk '/^## /{inside = ($0 == "## The file")} inside' "$configuration" | sed 's/^#//' | awk '
    !/^\|/ { row = 0; print; next }
    { row++ }
    row <= 2 { next }
    {
      line = $0; gsub(/\\\|/, "\001", line)
      n = split(line, cell, / *\| */)
      for (i = 2; i <= 4; i++) gsub(/\001/, "\\|", cell[i])
      print cell[2]; print ":   " cell[3] (cell[4] == "" ? "" : ". Default: " cell[4] "."); print ""
    }' > "$work/options.md"
  [ -s "$work/options.md" ] || { echo "render.sh: no section \"The file\" in $configuration" >&2; exit 1; }
  awk -v f="$work/options.md" '$0 == "@CONFIGURATION@" { while ((getline l < f) > 0) print l; next } 1' \
    "$source" > "$work/page.md"
else
  cp "$source" "$work/page.md"
fi
sed -i "s/@VERSION@/$version/g" "$work/page.md"
pandoc --standalone --from markdown-smart --to man "$work/page.md" -o "$work/page"
gzip -9n -c "$work/page" > "$output"
