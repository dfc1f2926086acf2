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
prebill=$("$print" --db "$work/r.db" --order 1 --prebill --text -)
# A thermal printer's bytes and the page images of a pre-bill and of an order list.
"$print" --db "$work/r.db" --order 1 --prebill --escpos "$work/p.bin" --png "$work/p.png"
head -c 2 "$work/p.bin" | od -An -tx1 | grep -q '1b 40'
test -s "$work/p.png"
"$print" --db "$work/r.db" --order 1 --list --escpos "$work/l.bin"
grep -qa "Margherita" "$work/l.bin"
# Once the kitchen has everything, the ticket has nothing left to print; --all shows every line.
"$sql" "$work/r.db" "UPDATE merce_comande SET qta_stampata = quantita" >/dev/null
if "$print" --db "$work/r.db" --order 1 --text "$work/t.txt" 2>/dev/null; then exit 1; fi
"$print" --db "$work/r.db" --order 1 --all --text - | grep -q "2 Margherita"
# The pre-bill is shown last, so that any failed check above leaves the expected total unseen.
echo "$prebill"
