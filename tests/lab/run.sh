#!/usr/bin/env bash
# The adapter's tests on the real stack: boots the virtual Bluetooth lab (lab/) once and runs
# every scenario of tests/lab/scenarios.py in it, the agent on hci0 and a central on hci1.
# Then boots the interactive lab once more on a pseudo-terminal (tests/lab/terminal.py) and
# ends it with Ctrl-C, as a user in a terminal would.
#
#   tests/lab/run.sh [PATH_TO_QUORLA]      (default: build/default/src/platform/linux/quorla)
#
# quorla-remote is taken from beside the agent. Prints one line per scenario and
# "N passed, N failed"; exits non-zero on any failure. The logs of the last run (btmon
# capture, bluetoothd log, each program's output, the guest's console) stay in
# build/lab/test/out/ and build/lab/terminal/out/. QUORLA_LAB_ONLY=GROUP[,GROUP] runs only
# those groups of scenarios ("terminal" is the Ctrl-C test); QUORLA_LAB_TIMEOUT (seconds,
# default 900) bounds the scenarios' guest run.
set -euo pipefail
cd "$(dirname "$0")/../.."
repo=$PWD

quorla=${1:-build/default/src/platform/linux/quorla}
[ -x "$quorla" ] || { echo "tests/lab: no quorla binary at $quorla (build first)" >&2; exit 2; }

source scripts/install-packages.sh
source lab/prepare.sh
lab_packages+=(python3-pexpect) # tests/lab/terminal.py types Ctrl-C through it
lab_prepare

only=${QUORLA_LAB_ONLY:-}
groups=$(tr ',' '\n' <<<"$only" | grep -vx terminal | paste -sd, || true)
passed=0
failed=0

if [ -z "$only" ] || [ -n "$groups" ]; then
  work=$lab_dir/test
  out=$work/out
  lab_config "$work" "$repo/tests/lab/scenarios.py" "$quorla"
  echo "only=$groups" >>"$work/config"
  started=$(date +%s)
  set +e
  lab/host.py --timeout "${QUORLA_LAB_TIMEOUT:-900}" "$lab_dir" "$work" | tee "$out/guest.log"
  status=${PIPESTATUS[0]}
  set -e
  echo "tests/lab: guest ran $(($(date +%s) - started)) s (qemu exit status $status)"
  if [ -f "$out/results" ]; then
    passed=$(grep -c '^PASS' "$out/results" || true)
    failed=$(grep -c '^FAIL' "$out/results" || true)
  fi
  if [ ! -f "$out/done" ]; then
    echo "FAIL  the guest stopped before the end of its run (see $out/console.log)"
    failed=$((failed + 1))
  fi
  ((failed == 0)) || echo "tests/lab: logs kept in $out (btmon.snoop: btmon -r; bluetoothd.log; agent-*.log)"
fi

if [ -z "$only" ] || grep -qx terminal <<<"${only//,/$'\n'}"; then
  work=$lab_dir/terminal
  lab_config "$work" "$repo/lab/console.py" "$quorla"
  printf 'argument=%s\n' --record-name lab-terminal >>"$work/config"
  started=$(date +%s)
  result=$(tests/lab/terminal.py "$lab_dir" "$work")
  echo "$result"
  echo "tests/lab: the terminal's lab ran $(($(date +%s) - started)) s (transcript: $work/out/terminal.log)"
  if [[ $result == PASS* ]]; then passed=$((passed + 1)); else failed=$((failed + 1)); fi
fi

echo "$passed passed, $failed failed"
((failed == 0)) || exit 1
