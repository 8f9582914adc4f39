#!/usr/bin/env bash
# Installs the Debian packages this project builds with. Idempotent: prints
# nothing and changes nothing when every package is already there.
set -euo pipefail
packages=(
  cmake ninja-build g++ clang libclang-rt-14-dev clang-format
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  libasio-dev libsqlite3-dev libpq-dev postgresql-15 libcli11-dev python3 help2man dpkg-dev file pkgconf
  qt6-base-dev fonts-dejavu-core xvfb openbox
  g++-mingw-w64-x86-64-posix mingw-w64-tools wine wine64
)
missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0
echo "Installing: ${missing[*]}"
sudo_cmd=()
[ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
"${sudo_cmd[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
