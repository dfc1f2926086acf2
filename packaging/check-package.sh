#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Checks the Debian package: lintian (errors and warnings fail, except the overrides the package
# ships with their reasons), then install, upgrade, remove and purge with dpkg in a throw-away root.
# The maintainer scripts run outside a chroot with DPKG_ROOT set, as dpkg --force-script-chrootless
# does; deb-systemd-helper, deb-systemd-invoke and systemctl are stand-ins that record their calls,
# the user is made by the real systemd-sysusers in the throw-away root. Needs root (dpkg, chown).
#   packaging/check-package.sh build-package/plikoserver_*.deb
set -euo pipefail
deb=$(realpath "$1")

echo "== lintian"
lintian --fail-on error,warning --display-info "$deb"

echo "== dpkg in a throw-away root"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
root=$work/root stubs=$work/stubs calls=$work/calls
mkdir -p "$root/var/lib/dpkg/info" "$root/var/lib/dpkg/updates" "$root/var/lib/dpkg/triggers" "$root/etc" "$stubs"
touch "$root/var/lib/dpkg/status" "$root/var/lib/dpkg/available" "$calls" "$work/dpkg.log"
for tool in deb-systemd-helper deb-systemd-invoke systemctl; do
  printf '#!/bin/sh\necho "%s $*" >> "%s"\nexit 0\n' "$tool" "$calls" > "$stubs/$tool"
  chmod +x "$stubs/$tool"
done
# The throw-away root has none of the package's dependencies: dpkg's notes about them go to a log.
dpkg_root() {
  PATH="$stubs:$PATH" dpkg --root="$root" --force-script-chrootless --force-depends "$@" >>"$work/dpkg.log" 2>&1 \
    || fail "dpkg $*"
}
fail() { echo "check-package: $*" >&2; echo "calls:" >&2; cat "$calls" >&2; cat "$work/dpkg.log" >&2; exit 1; }
called() { grep -qx -- "$1" "$calls" || fail "no call: $1"; }
state=$root/var/lib/plikoserver

dpkg_root --install "$deb"
[ -x "$root/usr/bin/plikoserver" ] && [ -x "$root/usr/bin/pliko-ctl" ] || fail "programs missing in /usr/bin"
[ -x "$root/usr/libexec/plikoserver/pliko-restart" ] && [ ! -e "$root/usr/bin/pliko-restart" ] \
  || fail "pliko-restart not in /usr/libexec/plikoserver only"
[ -e "$root/usr/share/man/man5/plikoserver.ini.5.gz" ] || fail "manual page plikoserver.ini(5) missing"
[ -e "$root/usr/share/doc/plikoserver/docs/configuration.md" ] || fail "docs/ not shipped"
uid=$(awk -F: '$1 == "plikoserver" { print $3 }' "$root/etc/passwd")
[ -n "$uid" ] || fail "no user plikoserver"
grep -q '^dialout:.*plikoserver' "$root/etc/group" || fail "plikoserver not in dialout"
[ -s "$state/restaurant.db" ] && [ "$(stat -c %u "$state/restaurant.db")" = "$uid" ] || fail "no demo database of the user"
[ -d "$state/spool/Cucina" ] || fail "no spool printers"
called "deb-systemd-helper enable plikoserver.service"
called "deb-systemd-helper enable plikoserver-backup.timer"
grep -q '^deb-systemd-invoke' "$calls" && fail "a service started inside a throw-away root"

echo "== upgrade keeps the database and the edited configuration"
echo "; edited" >> "$root/etc/plikoserver/plikoserver.ini"
sum=$(md5sum < "$state/restaurant.db")
: > "$calls"
dpkg_root --install "$deb"
[ "$(md5sum < "$state/restaurant.db")" = "$sum" ] || fail "the upgrade touched the database"
tail -1 "$root/etc/plikoserver/plikoserver.ini" | grep -qx '; edited' || fail "the upgrade replaced the configuration"

echo "== remove keeps the state"
: > "$calls"
dpkg_root --remove plikoserver
[ ! -e "$root/usr/bin/plikoserver" ] || fail "programs left after remove"
[ -s "$state/restaurant.db" ] || fail "remove deleted the database"
called "deb-systemd-helper mask plikoserver.service"

echo "== purge removes the state"
: > "$calls"
dpkg_root --purge plikoserver
[ ! -e "$state" ] || fail "purge left /var/lib/plikoserver"
[ ! -e "$root/etc/plikoserver/plikoserver.ini" ] || fail "purge left the configuration"
called "deb-systemd-helper purge plikoserver.service"
echo "check-package: passed"
