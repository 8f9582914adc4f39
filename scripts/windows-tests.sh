#!/usr/bin/env bash
# Usage: scripts/windows-tests.sh [--bench]
#
# The Windows part of CI. Cross-builds the preset `windows` (build-windows/)
# and checks the Windows programs under wine against the suite's Linux
# programs (build/, preset default):
#   - the export table of ZvServerAPI.dll (nine names, ordinals 1-9 as in
#     ZvServerAPI.def), the import table of tarvo-cli.exe (the relay functions
#     by ordinal only) and the four exports of dcc.dll;
#   - the unit tests built for Windows (ctest in build-windows/), and the
#     serial port tests on COM6, a pseudo-terminal whose far end echoes;
#   - a C program that binds ZvServerAPI.dll by ordinal, logs in to zvrelayd,
#     locks a tarvo-sim card and exchanges a packet with it;
#   - tarvo-cli.exe against tarvo-sim over the network medium (write 3000
#     bytes, list, read back identical), the "GPRS Server" medium through
#     dcc.dll, the "Zv Server" medium through ZvServerAPI.dll and zvrelayd,
#     and the serial medium on COM5, which wine's registry maps to tarvo-sim's
#     pseudo-terminal;
#   - bad input: a COM port that does not exist, an unreachable relay, a
#     folder without dcc.dll;
#   - the release zip of scripts/package-windows.sh unpacks, its CLI runs, and
#     a C program builds against its header and import library and logs in.
# With --bench it also measures the relay round trip of the same program
# (bench/relay_roundtrip) built for Linux and for Windows, against the same
# zvrelayd and card, and prints both.
# Wine runs in a prefix in a temporary folder (with HOME there too), made
# once with wineboot and removed at the end. Prints the time of each step.
# Exits 0 when every check holds; otherwise names each failure and exits 1.
set -uo pipefail
cd "$(dirname "$0")/.."
bench=0
[ "${1:-}" = "--bench" ] && bench=1
root=$PWD
began=$(date +%s)
step() {
  local now
  now=$(date +%s)
  echo "== $* ($((now - began)) s so far)"
}

failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}
ok() { echo "ok: $*"; }

step "cross build (preset windows)"
cmake --preset windows >/dev/null || exit 1
cmake --build --preset windows || exit 1
# The Linux programs the Windows ones talk to.
[ -f build/CMakeCache.txt ] || cmake --preset default >/dev/null || exit 1
linux_targets=(zvrelayd tarvo-sim)
[ $bench -eq 1 ] && linux_targets+=(relay_roundtrip ZvServerAPI)
if ! cmake --build --preset default --target "${linux_targets[@]}" >/tmp/tarvo-linux-build.$$ 2>&1; then
  cat /tmp/tarvo-linux-build.$$ >&2
  rm -f /tmp/tarvo-linux-build.$$
  exit 1
fi
rm -f /tmp/tarvo-linux-build.$$
lin=$root/build/bin
win=$root/build-windows/bin
objdump=x86_64-w64-mingw32-objdump

work=$(mktemp -d /tmp/tarvo-windows.XXXXXX)
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null && wait "$p" 2>/dev/null; done
  WINEPREFIX=$work/wine wineserver -k 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

step "export and import tables"
# "[   0] ZvServer_Login" lists the export's index from ordinal base 1.
exports=$($objdump -p "$win/ZvServerAPI.dll" |
  awk '/\[Ordinal\/Name Pointer\] Table/{t=1;next} t&&/^\t\[/{gsub(/[][]/,"");print $1+1, $2} t&&/^$/{t=0}' |
  sort -n)
expected=$(awk '/ZvServer_/{sub("@","",$2); print $2, $1}' relay/client/ZvServerAPI.def | sort -n)
if [ "$exports" = "$expected" ] && [ "$(echo "$exports" | wc -l)" -eq 9 ]; then
  ok "ZvServerAPI.dll exports the nine names with ordinals 1-9"
else
  fail "ZvServerAPI.dll exports:"$'\n'"$exports"$'\n'"expected:"$'\n'"$expected"
fi
imports=$($objdump -p "$win/tarvo-cli.exe" | awk '/DLL Name: ZvServerAPI.dll/{t=1;next} t&&/^$/{t=0} t')
by_ordinal=$(echo "$imports" | awk '$3=="<none>"{print $2+0}' | sort -n | tr '\n' ' ')
if echo "$imports" | grep -q ZvServer_; then
  fail "tarvo-cli.exe imports relay functions by name: $imports"
elif [[ "$by_ordinal" == "1 2 3 4 5 6 "* ]]; then
  ok "tarvo-cli.exe imports ZvServerAPI.dll by ordinal only ($by_ordinal)"
else
  fail "tarvo-cli.exe imports from ZvServerAPI.dll: $imports"
fi
dcc_exports=$($objdump -p "$win/dcc.dll" |
  awk '/\[Ordinal\/Name Pointer\] Table/{t=1;next} t&&/^\t\[/{print $3} t&&/^$/{t=0}' | sort | tr '\n' ' ')
[ "$dcc_exports" = "dcc_close dcc_init dcc_msg_receive dcc_msg_send " ] &&
  ok "dcc.dll exports the four dcc_* entry points" || fail "dcc.dll exports: $dcc_exports"

step "wine prefix"
export WINEPREFIX=$work/wine WINEDEBUG=-all HOME=$work/home
# No Mono or Gecko installer prompts, no menu entries.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
mkdir -p "$HOME"
wineboot -i >/dev/null 2>&1 || { fail "wineboot -i"; exit 1; }
# The prefix's own start-up programs finish before the tests start theirs.
wineserver -w

step "unit tests under wine"
ctest --test-dir build-windows -j2 --output-on-failure || fail "Windows unit tests"

step "relay server and simulator (Linux)"
"$lin/zvrelayd" --db "$work/zv.db" --init-db --org Tarvo --user user01 --password 21963 >/dev/null &&
  "$lin/zvrelayd" --db "$work/zv.db" --add-card 100001 --org Tarvo >/dev/null || {
  fail "zvrelayd account set-up"
  exit 1
}
"$lin/zvrelayd" --db "$work/zv.db" --bind 127.0.0.1 --user-port 0 --card-port 0 >"$work/zv.out" \
  2>"$work/zv.err" &
pids+=($!)
for _ in $(seq 100); do grep -q '^cards ' "$work/zv.out" && break; sleep 0.05; done
users=$(awk '/^users /{print $2}' "$work/zv.out")
cards=$(awk '/^cards /{print $2}' "$work/zv.out")
[ -n "$users" ] && [ -n "$cards" ] || { fail "zvrelayd did not start"; exit 1; }
"$lin/tarvo-sim" --tcp 0 --gateway 0 --serial --relay-card "127.0.0.1:$cards" --device-id 100001 \
  >"$work/sim.out" 2>"$work/sim.err" &
pids+=($!)
for _ in $(seq 100); do grep -q '^relay-card ' "$work/sim.out" && break; sleep 0.05; done
tcp=$(awk '/^tcp /{print $2}' "$work/sim.out")
gateway=$(awk '/^gateway /{print $2}' "$work/sim.out")
pty=$(awk '/^serial /{print $2}' "$work/sim.out")
[ -n "$tcp" ] && [ -n "$gateway" ] && [ -n "$pty" ] || { fail "tarvo-sim did not start"; exit 1; }

python3 tests/windows/pty_echo.py >"$work/echo.out" &
pids+=($!)
for _ in $(seq 100); do [ -s "$work/echo.out" ] && break; sleep 0.05; done
echo_pty=$(head -1 "$work/echo.out")
[ -n "$echo_pty" ] || { fail "pty_echo.py did not start"; exit 1; }

# COM5 is the simulator's pseudo-terminal, COM6 one that echoes; wine makes
# its device links from this key when it starts, so the running wine is
# ended first.
wine reg add 'HKLM\Software\Wine\Ports' /v COM5 /t REG_SZ /d "$pty" /f >/dev/null 2>&1 ||
  fail "registering COM5"
wine reg add 'HKLM\Software\Wine\Ports' /v COM6 /t REG_SZ /d "$echo_pty" /f >/dev/null 2>&1 ||
  fail "registering COM6"
wineserver -k 2>/dev/null
wineserver -w 2>/dev/null

step "serial port on an echoing line (COM6)"
if TARVO_TEST_COM=COM6 wine "$win/serial_windows_tests.exe" >"$work/serial.out" 2>&1 &&
  ! grep -q SKIPPED "$work/serial.out"; then
  ok "COM6: bounded silence, bytes at once, every byte value both ways, reopened after close"
else
  fail "serial port tests on COM6:"$'\n'"$(cat "$work/serial.out")"
fi

step "ZvServerAPI.dll by ordinal from C"
if wine "$win/zvapi_by_ordinal.exe" 127.0.0.1 "$users" user01 21963 100001 >"$work/c.out" 2>&1 &&
  grep -q '^0 failed' "$work/c.out"; then
  ok "C program: nine ordinals, login, lock, packet exchanged with the card"
else
  fail "C program against zvrelayd:"$'\n'"$(grep -v '^ok' "$work/c.out")"
fi

step "tarvo-cli.exe on every medium"
W=$(winepath -w "$work")
head -c 3000 /dev/urandom >"$work/data.bin"
# cli LABEL OPTIONS...: runs tarvo-cli.exe with its own settings file;
# stdout in $work/out, stderr in $work/err, status in $status.
cli() {
  local label=$1
  shift
  wine "$win/tarvo-cli.exe" --settings "$W\\$label.ini" --fast-pacing "$@" >"$work/out" 2>"$work/err"
  status=$?
}
# read_back LABEL OPTIONS...: the 3000 bytes read back over this medium are the ones written.
read_back() {
  local label=$1
  shift
  rm -f "$work/back.bin"
  cli "$label" "$@" read user data.bin -o "$W\\back.bin"
  if [ $status -eq 0 ] && cmp -s "$work/data.bin" "$work/back.bin"; then
    ok "$label: read back identical"
  else
    fail "$label: read back (status $status): $(cat "$work/out" "$work/err")"
  fi
}
listed() {
  local label=$1
  shift
  cli "$label" "$@" list user
  if [ $status -eq 0 ] && grep -Eq '^data\.bin +3000 ' "$work/out"; then
    ok "$label: list shows data.bin, 3000 bytes"
  else
    fail "$label: list (status $status): $(cat "$work/out" "$work/err")"
  fi
}

network=(--medium network --ip 127.0.0.1 --ip-port "$tcp")
cli network "${network[@]}" write user "$W\\data.bin"
[ $status -eq 0 ] && grep -q 'Successful!' "$work/out" && ok "network: write 3000 bytes" ||
  fail "network: write (status $status): $(cat "$work/out" "$work/err")"
listed network "${network[@]}"
read_back network "${network[@]}"

gprs=(--medium gprs --server-ip 127.0.0.1 --server-port "$gateway" --imei 123456789012345)
listed gprs "${gprs[@]}"
read_back gprs "${gprs[@]}"

relay=(--medium zv-server --relay-ip 127.0.0.1 --relay-port "$users" --device-id 100001
  --user user01 --password 21963)
listed zv-server "${relay[@]}"
read_back zv-server "${relay[@]}"

serial=(--medium serial --port COM5 --baud 115200)
listed serial "${serial[@]}"
read_back serial "${serial[@]}"

step "bad input"
cli missing-port --medium serial --port COM7 list user
[ $status -ne 0 ] && grep -q 'Communication failed!' "$work/out" &&
  ok "a COM port that does not exist: Communication failed! ($(tr -d '\r' <"$work/err"))" ||
  fail "COM7 (status $status): $(cat "$work/out" "$work/err")"
cli no-relay --medium zv-server --relay-ip 127.0.0.1 --relay-port 1 --device-id 100001 \
  --user user01 --password 21963 list user
[ $status -ne 0 ] && grep -q 'Communication failed!' "$work/out" &&
  ok "an unreachable relay: Communication failed!" ||
  fail "unreachable relay (status $status): $(cat "$work/out" "$work/err")"
mkdir -p "$work/nodcc"
cp "$win/tarvo-cli.exe" "$win/ZvServerAPI.dll" "$work/nodcc/"
wine "$work/nodcc/tarvo-cli.exe" --settings "$W\\nodcc.ini" "${gprs[@]}" list user \
  >"$work/out" 2>"$work/err"
status=$?
[ $status -eq 2 ] && grep -q 'needs dcc.dll' "$work/err" &&
  ok "without dcc.dll the GPRS Server medium is disabled" ||
  fail "without dcc.dll (status $status): $(cat "$work/out" "$work/err")"

if [ $bench -eq 1 ]; then
  step "relay round trip, Linux and Windows"
  "$lin/relay_roundtrip" 127.0.0.1 "$users" user01 21963 100001 || fail "relay_roundtrip (Linux)"
  wine "$win/relay_roundtrip.exe" 127.0.0.1 "$users" user01 21963 100001 ||
    fail "relay_roundtrip (Windows)"
fi

step "release zip"
if scripts/package-windows.sh "$work/release" >"$work/package.out" 2>&1; then
  zip=$(ls "$work"/release/*.zip 2>/dev/null | head -1)
  mkdir -p "$work/unpacked"
  if [ -n "$zip" ] && python3 -m zipfile -e "$zip" "$work/unpacked" 2>/dev/null; then
    folder=$(dirname "$(find "$work/unpacked" -name tarvo-cli.exe | head -1)")
    for f in ZvServerAPI.dll libZvServerAPI.dll.a ZvServerAPI.h ZvServerAPI.def dcc.dll README.txt; do
      [ -f "$folder/$f" ] || fail "the zip lacks $f"
    done
    wine "$folder/tarvo-cli.exe" --help >"$work/out" 2>&1 && grep -q 'Subcommands:' "$work/out" &&
      ok "the zip unpacks and its tarvo-cli.exe answers --help" ||
      fail "tarvo-cli.exe --help from the zip: $(cat "$work/out")"
    # A C program built against the zip's header and import library, as a
    # Windows developer builds one, logs in to zvrelayd through the DLL.
    cat >"$work/login.c" <<'EOF'
#include <stdio.h>
#include <stdlib.h>
#include "ZvServerAPI.h"
int main(int argc, char** argv) {
  int r = ZvServer_Login("127.0.0.1", atoi(argv[1]), "user01", "21963");
  ZvServer_Logout();
  printf("login %d\n", r);
  return r == 1 ? 0 : 1;
}
EOF
    if x86_64-w64-mingw32-gcc-posix -std=c99 -Wall -o "$folder/login.exe" "$work/login.c" \
      -I"$folder" -L"$folder" -lZvServerAPI >"$work/out" 2>&1 &&
      wine "$folder/login.exe" "$users" >>"$work/out" 2>&1; then
      ok "a C program built against the zip's header and import library logs in"
    else
      fail "C program against the zip: $(cat "$work/out")"
    fi
  else
    fail "the zip does not unpack: $zip"
  fi
else
  fail "scripts/package-windows.sh: $(cat "$work/package.out")"
fi

step "done"
if [ $failures -ne 0 ]; then
  echo "$failures Windows check(s) failed" >&2
  exit 1
fi
echo "Windows checks passed in $(($(date +%s) - began)) s"
