#!/usr/bin/env bash
# Pictures of the desktop tool as a person sees it: starts Xvfb and tarvo-sim,
# opens tarvo-tool on the real X11 platform plugin, lets it walk through its
# window (every medium, a file list, a transfer in progress, the version box,
# the configuration and password dialogs, the About box) and saves the PNGs
# in docs/screenshots/ (or the folder given). BUILD=build-asan uses that build.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD:-build}
out=$(realpath -m "${1:-docs/screenshots}")
if [ ! -x "$build/bin/tarvo-tool" ]; then
  scripts/install-deps.sh
  cmake --preset default >/dev/null
  cmake --build --preset default
fi
bin=$build/bin
work=$(mktemp -d)
cleanup() {
  kill "${sim_pid:-}" "${wm_pid:-}" "${x_pid:-}" 2>/dev/null || true
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
mkdir -p "$out"

Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
x_pid=$!
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.05; done
[ -s "$work/display" ] || { echo "Xvfb did not start" >&2; cat "$work/xvfb.log" >&2; exit 1; }
export DISPLAY=":$(cat "$work/display")"
# A window manager draws the captions; without one the pictures have none.
if command -v openbox >/dev/null; then
  openbox --sm-disable >/dev/null 2>&1 &
  wm_pid=$!
  sleep 0.5
fi

# Each answer waits 1 ms, so the upload is still running when its picture is taken.
source scripts/sim-session.sh
start_sim --reply-delay 1
# A few files on both disks, so the lists have something to show.
put_files user LOGO.BMP:4410 NEWS.TXT:1280 PROG01.PRG:20480 SHOW.PRG:65536
put_files system ASC16.FNT:2048
head -c 1300000 /dev/urandom >"$work/MOVIE.PRG"

# Every optional button shown; the network medium points at the simulator.
cat >"$work/tool.ini" <<INI
[COMM]
CommType=2
IP Addr=2130706433
IP Port=$port
[OPTION]
Upgrade scan=1
Delete sysfile=1
Format sysdisk=1
Read file=1
Read file2=1
INI
QT_QPA_PLATFORM=xcb "$bin/tarvo-tool" --settings "$work/tool.ini" --tour "$out" \
  --tour-upload "$work/MOVIE.PRG"
echo "Screenshots in $out"
