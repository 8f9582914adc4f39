# Sourced by demo.sh and screenshots.sh: a tarvo-sim on a free TCP port and
# files put on its disks with tarvo-cli. Needs $bin and $work.

# start_sim [tarvo-sim options...]: sets sim_pid and port.
start_sim() {
  "$bin/tarvo-sim" --tcp 0 "$@" >"$work/sim.out" &
  sim_pid=$!
  for _ in $(seq 100); do grep -q '^tcp ' "$work/sim.out" && break; sleep 0.05; done
  port=$(awk '/^tcp /{print $2}' "$work/sim.out")
  [ -n "$port" ] || { echo "tarvo-sim did not start" >&2; exit 1; }
}

# put_files DISK NAME:BYTES ...: random files of those sizes, written to the disk.
put_files() {
  local disk=$1 f
  shift
  for f in "$@"; do
    head -c "${f#*:}" /dev/urandom >"$work/${f%%:*}"
    "$bin/tarvo-cli" --settings "$work/seed.ini" --medium network --ip 127.0.0.1 --ip-port "$port" \
      --fast-pacing write "$disk" "$work/${f%%:*}" >/dev/null
  done
}
