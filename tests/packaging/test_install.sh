#!/bin/sh
# Installs the build into a temporary staging folder under a prefix of its own, checks that
# every piece lands where a desktop and the print system look for it, validates the desktop
# entry, and starts the installed panel offscreen on the installed simulator: the installed
# programs must work away from the build tree.
#
# Usage: test_install.sh BUILD_DIR [CMAKE]
set -eu

build=$1
cmake=${2:-cmake}
stage=$(mktemp -d)
prefix=/opt/zr40
root=$stage$prefix
sim_pid=""
panel_pid=""
cleanup() {
    [ -n "$panel_pid" ] && kill -TERM "$panel_pid" 2>/dev/null
    [ -n "$sim_pid" ] && kill -TERM "$sim_pid" 2>/dev/null
    wait 2>/dev/null
    rm -rf "$stage"
}
trap cleanup EXIT
fail() {
    echo "test_install: $*" >&2
    exit 1
}

DESTDIR=$stage "$cmake" --install "$build" --prefix "$prefix" >/dev/null

backend_dir=$(sed -n 's/^ZR40_CUPS_BACKEND_DIR:[A-Z]*=//p' "$build/CMakeCache.txt")
for file in bin/zr40-panel bin/zr40-sim bin/zr40ctl bin/zr40-add-queue; do
    [ -x "$root/$file" ] || fail "$file is not installed as a program"
done
for file in share/applications/zr40-panel.desktop lib/udev/rules.d/70-zr40.rules \
    lib/tmpfiles.d/zr40-panel.conf \
    share/zr40-panel/zr40.ppd share/man/man1/zr40-panel.1 share/man/man1/zr40-sim.1 \
    share/man/man1/zr40ctl.1; do
    [ -s "$root/$file" ] || fail "$file is not installed"
done
for size in 16 32 48 256; do
    [ -s "$root/share/icons/hicolor/${size}x$size/apps/zr40-panel.png" ] ||
        fail "the ${size}x$size icon is not installed"
done
# The print system runs a backend as root only when nobody else may read or run it.
[ "$(stat -c %a "$stage$backend_dir/zr40")" = 700 ] || fail "the backend is not $backend_dir/zr40, mode 0700"

desktop-file-validate "$root/share/applications/zr40-panel.desktop" || fail "the desktop entry is not valid"
grep -q '^Exec=zr40-panel$' "$root/share/applications/zr40-panel.desktop" || fail "the entry does not start zr40-panel"
# A manual page carries its program's options, named as installed.
grep -qF -- '\-\-simulator' "$root/share/man/man1/zr40-panel.1" || fail "zr40-panel.1 lacks --simulator"
grep -qF -- '\-\-ctl\-socket' "$root/share/man/man1/zr40-sim.1" || fail "zr40-sim.1 lacks --ctl-socket"
grep -q '^Usage: zr40ctl' "$root/share/man/man1/zr40ctl.1" || fail "zr40ctl.1 lacks its usage line"
if grep -q "$build" "$root"/share/man/man1/*.1; then fail "a manual page names the build folder"; fi
# The installed helper finds the queue's description beside itself, not in the sources.
grep -q '\$here/\.\./share/zr40-panel/zr40.ppd' "$root/bin/zr40-add-queue" ||
    fail "zr40-add-queue does not find the description relative to itself"

# The simulator's names are global to the computer: take the lock every simulator test takes.
# Children get the lock's descriptor closed, so that it ends with this script.
exec 9>>/tmp/zr40-simulator-tests.lock
flock -w 300 9 || fail "the simulator lock is held by another test for too long"
export XDG_RUNTIME_DIR="$stage/run"
mkdir -m 700 "$XDG_RUNTIME_DIR"
# The lock folder the package's tmpfiles.d entry makes at boot, made here for the staged tree.
export ZR40_LOCK_DIR="$stage/locks"
mkdir -m 1777 "$ZR40_LOCK_DIR"
export XDG_CONFIG_HOME="$stage/config"
export QT_QPA_PLATFORM=offscreen

# Waits up to $1 seconds until the command in the remaining arguments succeeds.
wait_until() {
    seconds=$1
    shift
    tries=$((seconds * 10))
    while [ "$tries" -gt 0 ]; do
        if "$@"; then return 0; fi
        sleep 0.1
        tries=$((tries - 1))
    done
    return 1
}
sim_answers() { "$root/bin/zr40-sim" --ctl status >/dev/null 2>&1; }
panel_is_client() { "$root/bin/zr40-sim" --ctl clients 2>/dev/null | grep -q "^$panel_pid "; }
panel_reads_status() { "$root/bin/zr40-sim" --ctl log 2>/dev/null | grep -q .; }

"$root/bin/zr40-sim" --init-ms 0 9>&- &
sim_pid=$!
wait_until 30 sim_answers || fail "the installed simulator does not answer"
"$root/bin/zr40-sim" --ctl log-clear >/dev/null
"$root/bin/zr40-panel" --simulator 9>&- &
panel_pid=$!
wait_until 60 panel_is_client || fail "the installed panel did not open the simulator"
wait_until 60 panel_reads_status || fail "the installed panel sends the machine nothing"
kill -0 "$panel_pid" 2>/dev/null || fail "the installed panel ended by itself"
echo "installed into $prefix; the installed panel runs on the installed simulator"
