#!/usr/bin/env bash
# run-isolated.sh (--in-place|--app-dir) PROGRAM [ARGS...]
# Gives one test process its own HOME, XDG folders, TMPDIR, registry file and
# shell-open record, and with --app-dir its own application folder (a copy of
# the program), then removes them all when the test ends. Where permitted, the
# test also gets a network namespace with loopback alone.
set -u
# A network namespace of its own with only loopback up, where that is
# permitted (root, as in CI): a test that forgets the simulator fails at once
# instead of resolving and reaching real hosts, and the servers it starts live
# in the namespace with it. Elsewhere the test runs in the machine's network.
if [ "${ZAVMO_NET_ISOLATED:-}" != 1 ] && command -v unshare >/dev/null && command -v ip >/dev/null &&
  unshare -n true 2>/dev/null; then
  export ZAVMO_NET_ISOLATED=1
  exec unshare -n -- bash -c 'ip link set lo up || { echo "run-isolated: cannot bring loopback up" >&2; exit 1; }
exec "$0" "$@"' "$0" "$@"
fi
mode=$1; shift
program=$1; shift
root=$(mktemp -d "${TMPDIR:-/tmp}/zavmo-test.XXXXXX") || exit 1
trap 'rm -rf "$root"' EXIT
mkdir -p "$root/home" "$root/config" "$root/data" "$root/cache" "$root/tmp" "$root/runtime"
chmod 700 "$root/runtime"
export HOME="$root/home"
export XDG_CONFIG_HOME="$root/config" XDG_DATA_HOME="$root/data" XDG_CACHE_HOME="$root/cache"
export XDG_RUNTIME_DIR="$root/runtime"
export TMPDIR="$root/tmp"
export ZAVMO_REGISTRY="$root/registry.json"
export ZAVMO_SHELL_RECORD="$root/shell-open.log"
export ZAVMO_TEST_ROOT="$root"
unset ZAVMO_HOSTS ZAVMO_CA_BUNDLE ZAVMO_CONNECT_TO ZAVMO_WINDOWS_ROOT
if [ "$mode" = "--app-dir" ]; then
  mkdir -p "$root/app"
  cp "$program" "$root/app/"
  program="$root/app/$(basename "$program")"
fi
"$program" "$@"
