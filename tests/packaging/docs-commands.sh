#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The commands of the README and the manual pages, run as a user would type them against the built
# programs: a demo database, the configuration check, the handheld exchanges of the README's shell
# blocks (taken from the README itself), pliko-ctl with a relative --socket, a backup with its
# rotation, and pliko-print's answers to an order that does not exist and to a missing XDG_RUNTIME_DIR.
set -euo pipefail
source_dir=$1 build=$2
export PATH="$build/src/app:$build/tools/pliko-sql:$build/tools/pliko-ctl:$build/tools/pliko-print:$PATH"
work=$(mktemp -d)
cleanup() { rm -rf "$work"; }
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

# The README's handheld exchanges, exactly as written there, against a server of this build.
awk '/^```sh/{block=""; inside=1; next} /^```/{if (inside && block ~ /dev\/tcp\/127.0.0.1\/31512/) printf "%s\x1e", block; inside=0; next}
     inside{block = block $0 "\n"}' "$source_dir/README.md" > blocks
[ "$(tr -cd '\036' < blocks | wc -c)" -ge 2 ] || fail "the README's handheld examples are gone"
run() {
  if unshare -n true 2>/dev/null; then
    unshare -n sh -c 'ip link set lo up 2>/dev/null || true; exec "$0" "$@"' "$@"
  else
    "$@"
  fi
}
run bash -c '
  set -u
  QT_QPA_PLATFORM=offscreen plikoserver --headless --config plikoserver.ini 2>server.log &
  pid=$!
  for _ in $(seq 1 150); do grep -q 31512 server.log && break; sleep 0.1; done
  status=0
  while IFS= read -r -d $'"'"'\x1e'"'"' block; do
    out=$(timeout 10 bash -c "$block" 2>&1) || true
    case "$out" in *TestOK\|*|*ComandaOK\|*) ;; *) echo "README block answered [$out]:"; echo "$block"; status=1;; esac
  done < blocks
  # pliko-ctl(1): a relative --socket path.
  pliko-ctl --socket ctl.sock status > ctl.out || { echo "pliko-ctl --socket ctl.sock failed"; status=1; }
  grep -q "^servizio: palmari" ctl.out || { echo "no status: $(cat ctl.out)"; status=1; }
  kill -TERM $pid; wait $pid || status=1
  exit $status
' || fail "the README's commands against the server"

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
if env -u XDG_RUNTIME_DIR QT_QPA_PLATFORM=offscreen pliko-print --help 2>&1 | grep -q QStandardPaths; then
  fail "pliko-print --help printed a QStandardPaths warning"
fi
echo "README and manual page commands ran as documented"
