#!/usr/bin/env bash
# Usage: scripts/package-windows.sh [OUTPUT_DIR]
#
# Builds the preset `windows` (build-windows/) and makes the Windows release
# zip, OUTPUT_DIR/tarvo-windows-<version>.zip (default OUTPUT_DIR:
# build-windows/packages), holding one folder tarvo-windows-<version>/ with
#   ZvServerAPI.dll        the relay client library (nine exports, ordinals 1-9)
#   libZvServerAPI.dll.a   its import library (by name; MinGW and clang link it)
#   ZvServerAPI.h          the header, for C and C++
#   ZvServerAPI.def        the ordinal table (MSVC: lib /def:ZvServerAPI.def)
#   tarvo-cli.exe          the maintenance tool's command line
#   dcc.dll                the GPRS gateway stand-in, loaded from tarvo-cli's folder
#   README.txt             what these are and how to start
# The programs and libraries are stripped; they need no other DLL than
# Windows' own. Prints the zip's path.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
out=${1:-build-windows/packages}
mkdir -p "$out"
out=$(cd "$out" && pwd)

cmake --preset windows >/dev/null
cmake --build --preset windows --target ZvServerAPI tarvo-cli dcc >/dev/null
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' build-windows/CMakeCache.txt)
name=tarvo-windows-$version
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
dir=$stage/$name
mkdir -p "$dir"

bin=build-windows/bin
for f in ZvServerAPI.dll tarvo-cli.exe dcc.dll; do
  x86_64-w64-mingw32-strip -o "$dir/$f" "$bin/$f"
done
cp build-windows/relay/client/libZvServerAPI.dll.a relay/client/ZvServerAPI.h \
  relay/client/ZvServerAPI.def "$dir/"

# Windows line ends, so Notepad shows it as written.
sed 's/$/\r/' >"$dir/README.txt" <<EOF
Tarvo maintenance suite $version for Windows (64-bit)

tarvo-cli.exe    The maintenance tool as a command line: every button of the
                 dialog as a subcommand. Run "tarvo-cli.exe --help".
                 Its settings are tarvo-cli.ini beside it.
ZvServerAPI.dll  The relay client library. tarvo-cli.exe needs it beside
                 itself for the "Zv Server" and "Zv GPRS" media.
dcc.dll          The GPRS gateway library. Without it beside tarvo-cli.exe
                 the "GPRS Server" medium is disabled.

Building programs against ZvServerAPI.dll
  ZvServerAPI.h declares the nine functions (__stdcall, undecorated names).
  ZvServerAPI.def gives their ordinals 1-9; a program may bind them by name
  or by ordinal (GetProcAddress with MAKEINTRESOURCE(n)).
  MinGW-w64 or clang: link libZvServerAPI.dll.a.
  MSVC: make an import library first:
      lib /def:ZvServerAPI.def /machine:x64 /out:ZvServerAPI.lib

No other DLL is needed: the C++ runtime is inside the programs.
EOF

rm -f "$out/$name.zip"
(cd "$stage" && python3 -m zipfile -c "$out/$name.zip" "$name")
echo "$out/$name.zip"
