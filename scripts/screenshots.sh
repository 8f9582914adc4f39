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
"$bin/tarvo-sim" --tcp 0 --reply-delay 1 >"$work/sim.out" &
sim_pid=$!
for _ in $(seq 100); do grep -q '^tcp ' "$work/sim.out" && break; sleep 0.05; done
port=$(awk '/^tcp /{print $2}' "$work/sim.out")
[ -n "$port" ] || { echo "tarvo-sim did not start" >&2; exit 1; }

# A few files on both disks, so the lists have something to show.
cli=("$bin/tarvo-cli" --settings "$work/cli.ini" --medium network --ip 127.0.0.1 --ip-port "$port"
  --fast-pacing)
for f in LOGO.BMP:4410 NEWS.TXT:1280 PROG01.PRG:20480 SHOW.PRG:65536; do
  head -c "${f#*:}" /dev/urandom >"$work/${f%%:*}"
  "${cli[@]}" write user "$work/${f%%:*}" >/dev/null
done
head -c 2048 /dev/urandom >"$work/ASC16.FNT"
"${cli[@]}" write system "$work/ASC16.FNT" >/dev/null
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
