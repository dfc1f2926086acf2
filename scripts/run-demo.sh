#!/usr/bin/env bash
# Starts PlikoServer on its embedded default. Until the server program exists, it shows the demo
# database (tables and menu) through pliko-sql.
set -euo pipefail
build=${1:-build}
if [ -x "$build/src/app/plikoserver" ]; then
  exec "$build/src/app/plikoserver" "${@:2}"
fi
db="${XDG_DATA_HOME:-$HOME/.local/share}/plikoserver/demo.db"
mkdir -p "$(dirname "$db")"
[ -f "$db" ] || "$build/tools/pliko-sql/pliko-sql" --create --demo "$db"
echo "Demo database: $db"
"$build/tools/pliko-sql/pliko-sql" "$db" "SELECT numero_tavolo, coperti FROM tavoli"
"$build/tools/pliko-sql/pliko-sql" "$db" "SELECT codice, descrizione, tipo, listino_a_ivato FROM magazzino, tipo_merce WHERE id_tipo_merce = num ORDER BY num, codice"
