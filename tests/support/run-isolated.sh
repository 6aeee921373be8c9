#!/usr/bin/env bash
# run-isolated.sh (--in-place|--app-dir) PROGRAM [ARGS...]
# Gives one test process its own HOME, XDG folders, TMPDIR, registry file and
# shell-open record, and with --app-dir its own application folder (a copy of
# the program), then removes them all when the test ends.
set -u
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
