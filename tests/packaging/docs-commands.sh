#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The commands of the README, the manual pages and docs/, run as a user would type them against the
# built programs; each section names the document it follows. Not run: the PostgreSQL example of
# docs/configuration.md (a database server on another machine) and the serial adapter's (the adapter).
set -euo pipefail
source_dir=$1 build=$2
export PATH="$build/src/app:$build/tools/pliko-sql:$build/tools/pliko-ctl:$build/tools/pliko-print:$PATH"
export PATH="$build/tools/pliko-load:$build/tools/pliko-duvu-sim:$PATH" QT_QPA_PLATFORM=offscreen
work=$(mktemp -d)
cleanup() { jobs -p | xargs -r kill 2>/dev/null || true; rm -rf "$work"; }
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; [ -f "$work/server.log" ] && tail -20 "$work/server.log" >&2; exit 1; }
cd "$work"

# pliko-sql(1)
pliko-sql --create --demo "$work/demo.db" >/dev/null || fail "pliko-sql --create --demo"
[ "$(pliko-sql "$work/demo.db" "SELECT COUNT(*) FROM magazzino" | tail -1)" -gt 0 ] || fail "pliko-sql SELECT"

mkdir -p spool/{Cassa,Cucina,Pizzeria,Bar}
cat > plikoserver.ini <<INI
[Software\\Orvanta\\Quillmark10\\Config]
LastDBPath=$work/demo.db
zona_ristorante_cucina=Cucina|256
zona_ristorante_bar=Bar|256
zona_ristorante_preconto=Cassa|9
[PlikoServer]
Locale=it_IT
PrinterBackend=spool
PrintSpoolDir=$work/spool
ControlSocket=$work/ctl.sock
INI
plikoserver --check-config --config plikoserver.ini | grep -q "configurazione corretta" || fail "--check-config"
# A mistake is told by the exit status too, for a script that checks the file before a reload.
{ cat plikoserver.ini; echo "LogLevel=parlante"; } > sbagliato.ini
if plikoserver --check-config --config sbagliato.ini >/dev/null 2>&1; then fail "--check-config passed a mistake"; fi
plikoserver --help --headless | grep -q "^Utilizzo:" || fail "plikoserver --help is not in Italian"

# The shell blocks of the documents that talk to the handheld port, exactly as written there, against a
# server of this build: the README's exchanges, the handheld protocol's exchange and load generator.
shell_blocks() {
  awk '/^```sh/{block=""; inside=1; next} /^```/{if (inside && block ~ /dev\/tcp\/127.0.0.1\/31512/) printf "%s\x1e", block; inside=0; next}
       inside{block = block $0 "\n"}' "$@"
}
shell_blocks "$source_dir/README.md" "$source_dir/docs/handheld-protocol.md" > blocks
[ "$(tr -cd '\036' < blocks | wc -c)" -ge 3 ] || fail "the documents' handheld examples are gone"
. "$(dirname "$0")/netns.sh"
run bash -c '
  set -u
  QT_QPA_PLATFORM=offscreen plikoserver --headless --config plikoserver.ini 2>server.log &
  pid=$!
  for _ in $(seq 1 150); do grep -q 31512 server.log && break; sleep 0.1; done
  status=0
  while IFS= read -r -d $'"'"'\x1e'"'"' block; do
    out=$(timeout 30 bash -c "$block" 2>&1) || true
    case "$out" in *TestOK\|*|*ComandaOK\|*) ;; *) echo "shell block answered [$out]:"; echo "$block"; status=1;; esac
    case "$block" in *pliko-load*) case "$out" in *" requests="[1-9]*" unexpected=0 "*) ;;
      *) echo "pliko-load: [$out]"; status=1;; esac;; esac
  done < blocks
  # pliko-ctl(1): a relative --socket path.
  pliko-ctl --socket ctl.sock status > ctl.out || { echo "pliko-ctl --socket ctl.sock failed"; status=1; }
  grep -q "^servizio: palmari" ctl.out || { echo "no status: $(cat ctl.out)"; status=1; }
  kill -TERM $pid; wait $pid || status=1
  exit $status
' || fail "the documents' commands against the server"

# docs/report-layouts.md: its layout file and its pliko-print commands, on the order the exchanges
# above recorded (the document's restaurant.db and order 42 stand for it).
awk '/^```xml/{inside=1; next} /^```/{inside=0} inside' "$source_dir/docs/report-layouts.md" > StampeCustom.xml
order=$(pliko-sql "$work/demo.db" "SELECT MAX(id_comanda) FROM comande" | tail -1)
[ "$order" -gt 0 ] 2>/dev/null || fail "no order recorded by the documents' exchanges"
awk '/^```/{inside=!inside; next} inside' "$source_dir/docs/report-layouts.md" | sed -e ':a' -e '/\\$/N; s/\\\n//; ta' \
  | grep '^pliko-print' > print-commands
[ "$(wc -l < print-commands)" -ge 5 ] || fail "docs/report-layouts.md: its pliko-print commands are gone"
while IFS= read -r command; do
  command=${command//restaurant.db/$work/demo.db}
  command=${command//--order 42/--order $order}
  out=$(bash -c "$command" 2>&1 </dev/null) || fail "docs/report-layouts.md: $command: $out"
  case "$command" in *"--text -"*) [ -n "$out" ] || fail "docs/report-layouts.md: $command printed nothing";; esac
done < print-commands
[ -s ticket.pdf ] && [ -s prebill.pdf ] && [ -s prebill.bin ] && ls ticket*.png >/dev/null 2>&1 \
  || fail "docs/report-layouts.md: outputs missing: $(ls)"

# docs/access-point-protocol.md: the radio side without hardware, its /tmp files in the work folder,
# the configuration its comment asks for, and the default control socket of the user.
cp demo.db radio.db
pliko-sql radio.db "UPDATE var_long SET value = 2 WHERE name = 'palmare_configurato'" >/dev/null
pliko-sql radio.db "UPDATE var_str SET value = 'COM3' WHERE name = 'com_nano'" >/dev/null
mkdir -m 700 runtime
sed -n '/^```sh/,/^```/p' "$source_dir/docs/access-point-protocol.md" | sed -n '/^pliko-duvu-sim --replies/,/^```/p' \
  | grep -v '^```' | grep -v '^#' | sed "s#/tmp/#$work/#g" > radio-commands
[ "$(wc -l < radio-commands)" = 4 ] || fail "docs/access-point-protocol.md: its example is not the four commands tested"
cat > radio.sh <<'SH'
set -u
{ read -r sim; read -r dev; read -r server; read -r ctl; } < radio-commands
eval "$sim"
for _ in $(seq 1 50); do [ -s sim.out ] && break; sleep 0.1; done
eval "$dev"
printf '[Software\\Orvanta\\Quillmark10\\Config]\nLastDBPath=%s/radio.db\n[PlikoServer]\nCom3=%s\nPrinterBackend=spool\nPrintSpoolDir=%s/spool\n' \
  "$PWD" "$DEV" "$PWD" > radio.ini
eval "${server% &} --config radio.ini 2>server.log &"
for _ in $(seq 1 100); do grep -q "servizio Duvu attivo" server.log && break; sleep 0.1; done
eval "$ctl" > radio.out 2>&1
status=$?
kill -TERM $(jobs -p); wait
exit $status
SH
XDG_RUNTIME_DIR=$work/runtime run bash radio.sh </dev/null || fail "docs/access-point-protocol.md: $(cat radio.out)"
grep -q "access point: collegato" radio.out || fail "docs/access-point-protocol.md: pliko-ctl status said [$(cat radio.out)]"

# The usage lines of the documents name only options the programs have.
for doc in "$source_dir"/README.md "$source_dir"/docs/*.md; do
  awk '/^```sh/{inside=1; next} /^```/{inside=0; next}
       inside && /^(plikoserver|pliko-[a-z-]+) .*\[--/{program=$1; print; next}
       inside && program != "" && /^ +\[--/{print program, $0; next} {program=""}' "$doc"
done > usages
[ -s usages ] || fail "no usage lines in the documents"
while read -r program rest; do
  help=$("$program" --help 2>&1) || true
  for option in $(grep -o -- '--[a-z-]*' <<<"$rest" | sort -u); do
    grep -q -- "$option" <<<"$help" || fail "$program has no $option, its usage line says it does"
  done
done < usages

# pliko-sql(1): a backup of a database, named by date; the oldest beyond --keep go.
mkdir backup
touch backup/demo-20200101-000000.db backup/demo-20200102-000000.db backup/other.db
pliko-sql --backup "$work/demo.db" backup --keep 2 | grep -q "Backup completato" || fail "pliko-sql --backup"
[ "$(ls backup/demo-*.db | wc -l)" = 2 ] && [ ! -e backup/demo-20200101-000000.db ] && [ -e backup/other.db ] \
  || fail "backup rotation: $(ls backup | tr '\n' ' ')"
copy=$(ls backup/demo-2*.db | tail -1)
[ "$(pliko-sql "$copy" "SELECT COUNT(*) FROM magazzino" | tail -1)" -gt 0 ] || fail "the backup does not read back"

# pliko-print(1): an order that does not exist is an error, not an empty pre-bill.
if pliko-print --db "$work/demo.db" --order 999999 --prebill --pdf x.pdf 2>err.txt; then fail "pliko-print on a missing order exited 0"; fi
grep -q "999999" err.txt || fail "pliko-print said nothing of the missing order"
# Tools print no Qt notice about the runtime folder.
if env -u XDG_RUNTIME_DIR pliko-print --help 2>&1 | grep -q QStandardPaths; then
  fail "pliko-print --help printed a QStandardPaths warning"
fi
echo "README, manual page and docs/ commands ran as documented"
