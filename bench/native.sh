#!/usr/bin/env bash
# Figures, not pass/fail, and never run by CI: what one request costs the agent and the
# yardstick (bench/minimal_peripheral.cpp) natively, without qemu: instructions (callgrind)
# and system calls (strace -c -f). Each runs on a private bus of its own, with
# bench/bluez_standin.cpp as bluetoothd; it writes to the microphone characteristic as
# bluetoothd forwards a Write Command (no reply expected) and waits for the notification
# before the next write. Startup and shutdown cancel out: each figure is the difference of a
# short and a long run, divided by the requests between them. Builds in build/bench first.
#
#   bench/native.sh            (QUORLA_NATIVE_REQUESTS="100 600" sets the two runs' lengths)
set -euo pipefail
cd "$(dirname "$0")/.."
read -r short long <<<"${QUORLA_NATIVE_REQUESTS:-100 600}"
((long > short)) || { echo "native: the second run must be the longer one" >&2; exit 2; }

source scripts/install-packages.sh
install_missing_packages cmake ninja-build g++ pkg-config libssl-dev libsystemd-dev \
  nlohmann-json3-dev libcli11-dev dbus-daemon valgrind strace
# Optimised, with symbols for callgrind; the compiler cache is shared where one is set up.
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
cmake -S . -B build/bench -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=OFF \
  "${launcher[@]}" >/dev/null
cmake --build build/bench --target quorla minimal-peripheral bluez-standin
programs=build/bench/src/platform/linux
standin=build/bench/bench/bluez-standin

work=$(mktemp -d /tmp/quorla-native.XXXXXX)
bus_pid=
cleanup() {
  [ -n "$bus_pid" ] && kill "$bus_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
# A bus of its own, reached the way the programs reach the system bus: sd-bus then checks
# callers' privileges as it does on the real one.
dbus-daemon --session --nofork --nopidfile --address="unix:path=$work/bus" &
bus_pid=$!
export DBUS_SYSTEM_BUS_ADDRESS="unix:path=$work/bus" XDG_CONFIG_HOME="$work/config"
for _ in $(seq 50); do [ -S "$work/bus" ] && break; sleep 0.1; done

wait_for() { # FILE PATTERN SECONDS PID: gives up early when process PID has ended
  local i
  for ((i = 0; i < $3 * 10; i++)); do
    grep -q "$2" "$1" 2>/dev/null && return 0
    kill -0 "$4" 2>/dev/null || break
    sleep 0.1
  done
  echo "native: no '$2' in $1 within $3 s:" >&2
  tail -5 "$1" >&2
  return 1
}

# run TOOL NAME REQUESTS: one peripheral run under TOOL (callgrind or strace), its report in
# $work/NAME.REQUESTS.TOOL.
run() {
  local tool=$1 name=$2 requests=$3 out=$work/$2.$3.$1 peripheral_pid standin_pid
  local command=("$programs/quorla" --record-name bench --adapter hci0 --client meeting)
  [ "$name" = yardstick ] && command=("$programs/minimal-peripheral" --record-name bench)
  local measured=(valgrind -q --tool=callgrind "--callgrind-out-file=$out")
  [ "$tool" = strace ] && measured=(strace -c -f -o "$out")
  "$standin" "$requests" >"$work/standin.log" 2>&1 &
  standin_pid=$!
  wait_for "$work/standin.log" 'org.bluez ready' 10 "$standin_pid"
  rm -f "$work/input"
  mkfifo "$work/input"
  "${measured[@]}" "${command[@]}" <"$work/input" >"$work/$name.log" 2>&1 &
  peripheral_pid=$!
  exec 4>"$work/input"  # the peripheral's input stays open until it is told to quit
  wait_for "$work/standin.log" '^done:' 600 "$standin_pid" ||
    { tail -5 "$work/$name.log" >&2; return 1; }
  echo "  $tool, $name: $(sed -n 's/^done: //p' "$work/standin.log")" >&2
  echo quit >&4
  exec 4>&-
  wait "$peripheral_pid" || { echo "native: $name under $tool failed:" >&2; tail -5 "$work/$name.log" >&2; return 1; }
  kill "$standin_pid"
  wait "$standin_pid" || true
}

instructions() { sed -n 's/^summary: *//p' "$1"; }

# The system calls of a strace -c table as "name count" lines, the total among them (its rows
# have an errors column only where some call failed).
calls() { awk '(NF == 5 || NF == 6) && $4 ~ /^[0-9]+$/ { print $NF, $4 }' "$1"; }

echo "native: $short and $long requests per run, under callgrind and strace" >&2
for tool in callgrind strace; do
  for name in agent yardstick; do
    for requests in "$short" "$long"; do
      run "$tool" "$name" "$requests"
    done
  done
done

n=$((long - short))
declare -A per_instructions per_calls
for name in agent yardstick; do
  per_instructions[$name]=$(awk -v a="$(instructions "$work/$name.$short.callgrind")" \
    -v b="$(instructions "$work/$name.$long.callgrind")" -v n=$n 'BEGIN { printf "%.0f", (b - a) / n }')
  breakdown=$(join -a2 -e0 -o 0,1.2,2.2 <(calls "$work/$name.$short.strace" | sort) \
    <(calls "$work/$name.$long.strace" | sort) |
    awk -v n=$n '{ d = ($3 - $2) / n; if ($1 == "total") total = d; else if (d >= 0.05) printf "%s %.1f, ", $1, d }
      END { printf "\n%.1f", total }')
  per_calls[$name]=$(tail -1 <<<"$breakdown")
  printf '%s, per request: %.1fk instructions, %s system calls (%s)\n' "$name" \
    "$(awk -v i="${per_instructions[$name]}" 'BEGIN { print i / 1000 }')" "${per_calls[$name]}" \
    "$(head -1 <<<"$breakdown" | sed 's/, $//')"
done
awk -v ai="${per_instructions[agent]}" -v yi="${per_instructions[yardstick]}" \
  -v ac="${per_calls[agent]}" -v yc="${per_calls[yardstick]}" \
  'BEGIN { printf "ratio agent/yardstick: x%.2f instructions, x%.2f system calls\n", ai / yi, ac / yc }'
