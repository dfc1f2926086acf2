#!/usr/bin/env bash
# Installs the Debian 12 packages that building, running and testing PlikoServer need.
# Only what is missing is installed; apt-get runs only then (as root, or through sudo).
set -euo pipefail

packages=(
  build-essential cmake ninja-build ccache pkg-config
  qt6-base-dev qt6-base-dev-tools libqt6serialport6-dev libqt6sql6-psql libgl-dev
  libsqlite3-dev libcups2-dev libzip-dev
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  fonts-dejavu-core cups cups-client cups-bsd socat
  clang libclang-rt-14-dev
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
