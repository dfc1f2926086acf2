#!/usr/bin/env bash
# pliko-print shows the pre-bill of an order of a real database: 2 covers at 2,00 and two pizzas.
#   prebill-smoke.sh PLIKO_SQL PLIKO_PRINT
set -euo pipefail
sql=$1
print=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$sql" --create --demo "$work/r.db" >/dev/null
"$sql" "$work/r.db" "INSERT INTO comande (id_comanda, coperti, costo_coperti, id_operatore) VALUES (1, 2, 4, 2)" >/dev/null
"$sql" "$work/r.db" "INSERT INTO merce_comande (id_comanda, id_articolo, descrizione, quantita, totale) VALUES (1, 126, 'Margherita', 2, 14)" >/dev/null
"$print" --db "$work/r.db" --order 1 --prebill --text -
