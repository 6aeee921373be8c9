#!/usr/bin/env bash
# run-isolated.sh (--in-place|--app-dir) PROGRAM [ARGS...]
# Gives one test process its own HOME, XDG folders, TMPDIR, registry file and
# shell-open record, and with --app-dir its own application folder (a copy of
# the program), then removes them all when the test ends. Where permitted, the
# test also gets a network namespace with loopback alone and a PID namespace
# with its own /proc.
set -u
# Where permitted (root, as in CI) a test runs in namespaces of its own:
# - network, with only loopback up: a test that forgets the simulator fails at
#   once instead of resolving and reaching real hosts, and the servers it
#   starts live in the namespace with it;
# - PID, with its own /proc (hence a mount namespace): process scans and fixed
#   process names ("OBS.exe", ...) see only the test's own processes, not
#   those of a parallel test, another ctest run or the rest of the machine.
#   This shell becomes the namespace's init: when it ends, whatever the test
#   left running (simulator, FTP server, detached tools, a crash reporter) is
#   killed with it, so nothing outlives the test or holds ctest's pipes open.
# Elsewhere the test runs in the machine's network and process space.
in_namespaces() {
  export ZAVMO_NET_ISOLATED=1
  exec unshare "$@" -- bash -c 'ip link set lo up || { echo "run-isolated: cannot bring loopback up" >&2; exit 1; }
exec "$0" "$@"' "$script" "${args[@]}"
}
if [ "${ZAVMO_NET_ISOLATED:-}" != 1 ] && command -v unshare >/dev/null && command -v ip >/dev/null; then
  script=$0 args=("$@")
  if unshare -n -p -f --mount-proc true 2>/dev/null; then
    export ZAVMO_PID_ISOLATED=1
    # --kill-child: should ctest kill unshare (time-out), the namespace goes too.
    in_namespaces -n -p -f --kill-child --mount-proc
  elif unshare -n true 2>/dev/null; then
    unset ZAVMO_PID_ISOLATED
    in_namespaces -n
  fi
fi
[ "${ZAVMO_NET_ISOLATED:-}" = 1 ] || unset ZAVMO_PID_ISOLATED
mode=$1; shift
program=$1; shift
root=$(mktemp -d "${TMPDIR:-/tmp}/zavmo-test.XXXXXX") || exit 1
cleanup() {
  # As the PID namespace's init, end what the test left running before its
  # folders go (kill -1 from init reaches every other process of the namespace
  # and nothing outside it; the namespace's end would kill them anyway).
  if [ "${ZAVMO_PID_ISOLATED:-}" = 1 ] && [ $$ -eq 1 ]; then
    kill -KILL -1 2>/dev/null
  fi
  rm -rf "$root"
}
trap cleanup EXIT
mkdir -p "$root/home" "$root/config" "$root/data" "$root/cache" "$root/tmp" "$root/runtime"
chmod 700 "$root/runtime"
export HOME="$root/home"
export XDG_CONFIG_HOME="$root/config" XDG_DATA_HOME="$root/data" XDG_CACHE_HOME="$root/cache"
export XDG_RUNTIME_DIR="$root/runtime"
export TMPDIR="$root/tmp"
export ZAVMO_REGISTRY="$root/registry.json"
export ZAVMO_SHELL_RECORD="$root/shell-open.log"
export ZAVMO_TEST_ROOT="$root"
# OBS Studio is looked up on PATH: tests search a folder of their own, empty
# unless they place an "obs" there, never the machine's.
mkdir -p "$root/obs-search"
export ZAVMO_OBS_SEARCH_PATH="$root/obs-search"
unset ZAVMO_HOSTS ZAVMO_CA_BUNDLE ZAVMO_CONNECT_TO ZAVMO_WINDOWS_ROOT
if [ "$mode" = "--app-dir" ]; then
  mkdir -p "$root/app"
  cp "$program" "$root/app/"
  program="$root/app/$(basename "$program")"
fi
"$program" "$@"
