#!/usr/bin/env bash
# Installs what is missing, builds, starts the controller simulator and opens
# the desktop tool, tarvo-tool, connected to it over the network medium, with
# a few files on its disks. Without a display (or with --cli) it runs a short
# real session with tarvo-cli instead: version, file list, upload of a file,
# read back and compare, free space, screen configuration.
set -euo pipefail
cd "$(dirname "$0")/.."
mode=gui
[ "${1:-}" = "--cli" ] && mode=cli
[ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && mode=cli
scripts/install-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default
bin=build/bin
[ -x "$bin/tarvo-tool" ] || mode=cli
work=$(mktemp -d)
trap 'kill "${sim_pid:-}" 2>/dev/null || true; wait 2>/dev/null || true; rm -rf "$work"' EXIT

source scripts/sim-session.sh
start_sim
echo "tarvo-sim is serving the network medium on port $port"

cli=("$bin/tarvo-cli" --settings "$work/tarvo.ini" --medium network --ip 127.0.0.1 --ip-port "$port")

if [ "$mode" = gui ]; then
  put_files user LOGO.BMP:4410 NEWS.TXT:1280 PROG01.PRG:20480
  head -c 1500000 /dev/urandom >"$work/MOVIE.PRG"
  cat >"$work/tarvo-tool.ini" <<INI
[COMM]
CommType=2
IP Addr=2130706433
IP Port=$port
[OPTION]
Read file=1
INI
  echo "tarvo-tool is open on the simulated controller (files to upload are in $work)."
  echo "Close its window to end the demo."
  "$bin/tarvo-tool" --settings "$work/tarvo-tool.ini"
  exit 0
fi

step() { printf '\n$ tarvo-cli %s\n' "$*"; "${cli[@]}" "$@"; }
head -c 3000 /dev/urandom >"$work/HELLO.BIN"
step version
step list user
step write user "$work/HELLO.BIN"
step list user
step read user HELLO.BIN -o "$work/HELLO.back"
cmp "$work/HELLO.BIN" "$work/HELLO.back" && echo "read back: identical, $(stat -c %s "$work/HELLO.back") bytes"
step free user
step config set speed=slow refresh=5,7
step config read speed refresh
echo
echo "Demo finished. The settings the tool saved:"
sed 's/^/  /' "$work/tarvo.ini"
