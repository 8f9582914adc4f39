#!/usr/bin/env bash
# Usage: scripts/check-packages.sh BUILD_DIR
#
# Makes the Debian packages of a configured and built build folder
# (cpack -G DEB, into BUILD_DIR/packages/) and checks them as a user of the
# packages meets them, without installing anything: every package is unpacked
# into one temporary root, and there
#   - each package holds the files it is meant to hold;
#   - every program answers --version with the suite's version, finding
#     libZvServerAPI.so in the unpacked tree;
#   - no program or library has a search path (RUNPATH) other than one
#     relative to itself, and no unpacked file names the build folder;
#   - a small C program builds against the unpacked libZvServerAPI through
#     its pkg-config file and through find_package(ZvServerAPI), and logs in
#     to the unpacked zvrelayd.
# Exits 0 when every check holds; otherwise names each failure and exits 1.
set -uo pipefail

if [ $# -ne 1 ] || [ ! -f "$1/CPackConfig.cmake" ]; then
  echo "usage: $0 BUILD_DIR   (a configured and built build folder, e.g. build)" >&2
  exit 2
fi
build=$(cd "$1" && pwd)
# Packages are made from an optimised build; a sanitizer build's library
# cannot be linked into a plain C program.
if grep -q '^TARVO_SANITIZE:BOOL=ON$' "$build/CMakeCache.txt"; then
  echo "$build is a sanitizer build; check the packages of the default build (build/)" >&2
  exit 2
fi
work=$(mktemp -d)
server_pid=
cleanup() {
  [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null && wait "$server_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}
stop() {
  echo "FAIL: $*" >&2
  exit 1
}

unset LD_LIBRARY_PATH

# The packages.
out="$build/packages"
rm -f "$out"/*.deb
(cd "$build" && cpack -G DEB -B "$out") >"$work/cpack.log" 2>&1 ||
  { cat "$work/cpack.log" >&2; stop "cpack -G DEB failed in $build"; }
shopt -s nullglob
debs=("$out"/*.deb)
[ ${#debs[@]} -gt 0 ] || stop "cpack made no .deb in $out"

root="$work/root"
mkdir -p "$root"
declare -A package_file
for deb in "${debs[@]}"; do
  name=$(dpkg-deb -f "$deb" Package) || stop "$deb is not a Debian package"
  package_file[$name]=$deb
  dpkg-deb -x "$deb" "$root" || stop "dpkg-deb -x $deb failed"
done
version=$(dpkg-deb -f "${debs[0]}" Version)
version=${version%-*}

# What each package must hold (paths below /usr). The lists follow the build:
# tarvo-tool only where Qt was found, man pages only where help2man was.
has() { [ -e "$build/$1" ]; }
expect() {
  local package=$1 path
  shift
  if [ -z "${package_file[$package]:-}" ]; then
    fail "no package $package"
    return
  fi
  local listing
  listing=$(dpkg-deb -c "${package_file[$package]}")
  for path in "$@"; do
    grep -qE "\./usr/$path( |$)" <<<"$listing" || fail "$package does not hold /usr/$path"
  done
}
tool_files=(bin/tarvo-cli bin/tarvo-sim bin/libdcc.so share/bash-completion/completions/tarvo-cli)
has bin/tarvo-tool && tool_files+=(bin/tarvo-tool share/applications/tarvo-tool.desktop)
has man/tarvo-cli.1.gz && tool_files+=(share/man/man1/tarvo-cli.1.gz share/man/man1/tarvo-sim.1.gz)
server_files=(bin/zvrelayd lib/systemd/system/zvrelayd.service)
has man/zvrelayd.1.gz && server_files+=(share/man/man1/zvrelayd.1.gz)
expect tarvo-tool "${tool_files[@]}"
expect zvrelayd "${server_files[@]}"
# The service's files outside /usr: the logrotate file whose postrotate sends
# SIGHUP, marked as the administrator's own (conffiles).
if [ -n "${package_file[zvrelayd]:-}" ]; then
  # Read whole before grep -q stops reading (pipefail would count the pipe).
  listing=$(dpkg-deb -c "${package_file[zvrelayd]}")
  grep -qE '\./etc/logrotate\.d/zvrelayd$' <<<"$listing" ||
    fail "zvrelayd does not hold /etc/logrotate.d/zvrelayd"
  conffiles=$(dpkg-deb -I "${package_file[zvrelayd]}" conffiles 2>/dev/null)
  grep -qx /etc/logrotate.d/zvrelayd <<<"$conffiles" ||
    fail "zvrelayd does not keep /etc/logrotate.d/zvrelayd as a conffile"
fi
expect libzvserverapi1 "lib.*/libZvServerAPI\.so\.1"
expect libzvserverapi-dev include/ZvServerAPI.h "lib.*/libZvServerAPI\.so" \
  "lib.*/pkgconfig/ZvServerAPI\.pc" "lib.*/cmake/ZvServerAPI/ZvServerAPIConfig\.cmake" \
  share/ZvServerAPI/ZvServerAPI.def

# --version of every unpacked program, and where its libraries come from.
zv_soname=libZvServerAPI.so.1
for program in tarvo-cli tarvo-sim tarvo-tool zvrelayd; do
  path="$root/usr/bin/$program"
  if [ ! -x "$path" ]; then
    [ "$program" = tarvo-tool ] && ! has bin/tarvo-tool && continue
    fail "$program is in no package"
    continue
  fi
  said=$(QT_QPA_PLATFORM=offscreen timeout 20 "$path" --version 2>"$work/stderr")
  [ "$said" = "$program $version" ] ||
    fail "$program --version said '$said', not '$program $version' ($(cat "$work/stderr"))"
  zv=$(ldd "$path" | awk '/libZvServerAPI/ {print $3}')
  if [ "$zv" = not ]; then
    fail "$program does not find libZvServerAPI in the unpacked tree"
  elif [ -n "$zv" ] && [ "$(realpath "$zv")" != "$(realpath "$root"/usr/lib*/$zv_soname)" ]; then
    fail "$program loads libZvServerAPI from $zv, not from the unpacked tree"
  fi
done

# Search paths: only $ORIGIN-relative ones, and nothing names the build folder.
while IFS= read -r -d '' file; do
  head -c 4 "$file" | grep -q 'ELF' || continue
  paths=$(readelf -d "$file" | sed -n 's/.*(\(RUNPATH\|RPATH\)).*\[\(.*\)\]/\2/p')
  IFS=: read -ra entries <<<"$paths"
  for entry in "${entries[@]}"; do
    # shellcheck disable=SC2016 # $ORIGIN is meant literally
    case $entry in
      '$ORIGIN' | '$ORIGIN/'*) ;;
      *) fail "${file#"$root"} has the search path '$entry' (RUNPATH '$paths')" ;;
    esac
  done
done < <(find "$root" -type f -print0)
named=$(grep -rlF "$build" "$root")
[ -z "$named" ] && named=$(grep -rlF "$(realpath "$build")" "$root")
[ -z "$named" ] || fail "these unpacked files name the build folder $build: ${named//$root/}"

# A C program against the unpacked library: pkg-config, then find_package.
cat >"$work/login.c" <<'EOF'
/* Logs in to the relay server at 127.0.0.1:PORT as USER / PASSWORD. */
#include <ZvServerAPI.h>
#include <stdio.h>
#include <stdlib.h>

int main(int argc, char** argv) {
  if (argc != 4) return 2;
  int login = ZvServer_Login("127.0.0.1", atoi(argv[1]), argv[2], argv[3]);
  ZvServer_Logout();
  printf("login %d\n", login);
  return login == 1 ? 0 : 1;
}
EOF
pc_dir=$(dirname "$(find "$root" -name ZvServerAPI.pc | head -1)")
pc() { PKG_CONFIG_SYSROOT_DIR="$root" PKG_CONFIG_LIBDIR="$pc_dir" pkg-config "$@" ZvServerAPI; }
if flags=$(pc --cflags --libs); then
  # shellcheck disable=SC2086 # the flags are separate words
  cc -o "$work/login-pc" "$work/login.c" $flags >"$work/cc.log" 2>&1 ||
    { cat "$work/cc.log" >&2; fail "the C program does not build with pkg-config's flags: $flags"; }
else
  fail "pkg-config does not find ZvServerAPI in $pc_dir"
fi
cat >"$work/CMakeLists.txt" <<'EOF'
cmake_minimum_required(VERSION 3.16)
project(login C)
find_package(ZvServerAPI 1 REQUIRED)
add_executable(login-cmake login.c)
target_link_libraries(login-cmake PRIVATE ZvServerAPI::ZvServerAPI)
EOF
if cmake -S "$work" -B "$work/consumer" -G Ninja -DCMAKE_PREFIX_PATH="$root/usr" \
  -DCMAKE_FIND_USE_CMAKE_SYSTEM_PATH=OFF >"$work/consumer.log" 2>&1 &&
  cmake --build "$work/consumer" >>"$work/consumer.log" 2>&1; then
  cp "$work/consumer/login-cmake" "$work/"
else
  cat "$work/consumer.log" >&2
  fail "the C program does not build with find_package(ZvServerAPI)"
fi

# Both builds log in to the unpacked server.
zvrelayd="$root/usr/bin/zvrelayd"
if [ -x "$zvrelayd" ] && "$zvrelayd" --db "$work/zv.db" --init-db --org Check --user checker \
  --password 4711 >"$work/zvrelayd.log" 2>&1; then
  "$zvrelayd" --db "$work/zv.db" --user-port 0 --card-port 0 \
    >"$work/serving" 2>>"$work/zvrelayd.log" &
  server_pid=$!
  for _ in $(seq 100); do grep -q '^users ' "$work/serving" && break; sleep 0.05; done
  port=$(awk '/^users / {print $2}' "$work/serving")
  [ -n "$port" ] || fail "the unpacked zvrelayd did not start: $(cat "$work/zvrelayd.log")"
  libdir=$(pc --variable=libdir)
  for client in login-pc login-cmake; do
    if [ -z "$port" ] || [ ! -x "$work/$client" ]; then continue; fi
    said=$(LD_LIBRARY_PATH="$libdir" timeout 20 "$work/$client" "$port" checker 4711 2>&1) ||
      fail "$client (built against the unpacked library) did not log in: $said"
  done
else
  fail "the unpacked zvrelayd could not make an account database:" \
    "$(cat "$work/zvrelayd.log" 2>/dev/null)"
fi

if [ "$failures" -gt 0 ]; then
  echo "check-packages: $failures check(s) failed" >&2
  exit 1
fi
echo "check-packages: ${#debs[@]} packages in $out are sound:"
for deb in "${debs[@]}"; do
  printf '  %-45s %8s bytes\n' "$(basename "$deb")" "$(stat -c %s "$deb")"
done
