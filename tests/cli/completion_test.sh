#!/usr/bin/env bash
# The bash completion of tarvo-cli offers each position's words.
set -u
source "$1"
failures=0
expect() {
  local want="$1"
  shift
  COMP_WORDS=("$@")
  COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
  COMPREPLY=()
  _tarvo_cli
  if [ "${COMPREPLY[*]}" != "$want" ]; then
    echo "completing '$*': got '${COMPREPLY[*]}', want '$want'"
    failures=$((failures + 1))
  fi
}
expect "list" tarvo-cli li
expect "zv-server zv-gprs" tarvo-cli --medium z
expect "user system" tarvo-cli --medium network --ip 10.0.0.7 list ""
expect "app bios net scan boot" tarvo-cli upgrade ""
expect "speed" tarvo-cli config read sp
expect "--force" tarvo-cli read user LOGO.BMP --f
expect "" tarvo-cli list user ""
echo "$(( 7 - failures )) passed, $failures failed"
[ "$failures" -eq 0 ]
