#!/usr/bin/env bash
# Takes the README's screenshots from the real windows: starts a simulator and, under a virtual
# display (Xvfb), the screenshot program on it; writes docs/screenshots/panel.png, cut.png,
# testcut.png, toolpath.png, the cut surface relief.png and relief-3d.png, job.png, and the
# Japanese panel panel-ja.png.
#
# ZR40_BUILD_DIR chooses the build folder (default: build).
set -euo pipefail
cd "$(dirname "$0")/.."

build=${ZR40_BUILD_DIR:-build}
out=docs/screenshots
cmake --build "$build" --target zr40-sim zr40-screenshots
mkdir -p "$out"

# A settings store, run folder and lock folder of this run's own, so that the pictures never
# show a user's settings nor meet a running panel.
scratch=$(mktemp -d)
export XDG_CONFIG_HOME="$scratch/config" XDG_RUNTIME_DIR="$scratch/run" ZR40_LOCK_DIR="$scratch/lock"
mkdir -p "$XDG_CONFIG_HOME" "$ZR40_LOCK_DIR"
# The sample programs, under a name that reads well in the Cut dialog's list.
programs=/tmp/zr40-samples
rm -rf "$programs"
mkdir "$programs"
mkdir -m 700 "$XDG_RUNTIME_DIR"

# The simulator's names are global to the computer: wait for any test that runs one.
exec 9>>/tmp/zr40-simulator-tests.lock
flock -w 300 9

sim_pid=""
trap '[ -n "$sim_pid" ] && kill -TERM "$sim_pid" 2>/dev/null; wait; rm -rf "$scratch" "$programs"' EXIT
"$build/sim/zr40-sim" --init-ms 0 --speed 100000 9>&- &
sim_pid=$!
for _ in $(seq 1 100); do
    "$build/sim/zr40-sim" --ctl status >/dev/null 2>&1 && break
    sleep 0.1
done

shoot() {
    xvfb-run -a -s "-screen 0 1600x1000x24" "$build/tools/zr40-screenshots" "$out" "$@" 9>&-
}
LANG=en_US.UTF-8 LC_ALL= shoot "$programs"
LANG=ja_JP.UTF-8 LC_ALL= shoot
