#!/usr/bin/env bash
# Installs the Debian 12 packages that building, running and testing PlikoServer need; with
# --package also what building and checking the Debian package needs (manual pages, lintian); with
# --browser the browser the kitchen-screen test drives (chromium, its driver and python3-selenium); with
# --coverage the line-coverage report (gcovr).
# Only what is missing is installed: with everything there, apt is not touched at all (make run and
# make test work offline and without root). apt-get runs only then, as root or through sudo.
set -euo pipefail

packages=(
  build-essential cmake ninja-build ccache pkg-config
  qt6-base-dev qt6-base-dev-tools qt6-serialport-dev qt6-httpserver-dev qt6-websockets-dev libqt6sql6-psql libgl-dev
  libsqlite3-dev sqlite3 libcups2-dev libzip-dev libsystemd-dev systemd qt6-translations-l10n dpkg-dev fakeroot
  libpq-dev postgresql-15
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  fonts-dejavu-core cups cups-client cups-bsd socat
  clang libclang-rt-14-dev
)
if [ "${1:-}" = "--package" ]; then
  packages=(pandoc lintian dpkg-dev fakeroot)
elif [ "${1:-}" = "--browser" ]; then
  packages=(chromium chromium-driver python3-selenium)
elif [ "${1:-}" = "--coverage" ]; then
  packages=(gcovr)
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

SUDO=""
if [ "$(id -u)" -ne 0 ]; then
  if command -v sudo >/dev/null && sudo -n true 2>/dev/null; then
    SUDO="sudo"
  elif ! command -v sudo >/dev/null || [ ! -t 0 ]; then
    echo "Missing Debian packages: ${missing[*]}" >&2
    echo "Install them as root: apt-get install ${missing[*]}" >&2
    exit 1
  else
    SUDO="sudo"
  fi
fi
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
