# SPDX-License-Identifier: GPL-3.0-or-later
# Sourced by the packaging tests: run runs a command on a loopback of its own where the machine
# allows it (root, or user namespaces), so a server started for the test never meets another
# checkout's server on the handheld port; elsewhere it runs the command as it is.
run() {
  if unshare -n true 2>/dev/null; then
    unshare -n sh -c 'ip link set lo up 2>/dev/null || true; exec "$0" "$@"' "$@"
  else
    "$@"
  fi
}
