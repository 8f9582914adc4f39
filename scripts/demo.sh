#!/usr/bin/env bash
# Installs what is missing, builds, starts the controller simulator and runs
# a short real session with tarvo-cli against it over the network medium:
# version, file list, upload of a file, read back and compare, free space,
# screen configuration.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default
bin=build/bin
work=$(mktemp -d)
trap 'kill "${sim_pid:-}" 2>/dev/null || true; wait 2>/dev/null || true; rm -rf "$work"' EXIT

"$bin/tarvo-sim" --tcp 0 >"$work/sim.out" &
sim_pid=$!
for _ in $(seq 100); do grep -q '^tcp ' "$work/sim.out" && break; sleep 0.05; done
port=$(awk '/^tcp /{print $2}' "$work/sim.out")
[ -n "$port" ] || { echo "tarvo-sim did not start" >&2; exit 1; }
echo "tarvo-sim is serving the network medium on port $port"

cli=("$bin/tarvo-cli" --settings "$work/tarvo.ini" --medium network --ip 127.0.0.1 --ip-port "$port")
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
