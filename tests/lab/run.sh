#!/usr/bin/env bash
# The adapter's tests on the real stack: boots the virtual Bluetooth lab (lab/) once and runs
# every scenario of tests/lab/scenarios.py in it, the agent on hci0 and a central on hci1.
#
#   tests/lab/run.sh [PATH_TO_QUORLA]      (default: build/default/src/platform/linux/quorla)
#
# quorla-remote is taken from beside the agent. Prints one line per scenario and
# "N passed, N failed"; exits non-zero on any failure. The logs of the last run (btmon
# capture, bluetoothd log, each program's output, the guest's console) stay in
# build/lab/test/out/. QUORLA_LAB_ONLY=GROUP[,GROUP] runs only those groups of scenarios;
# QUORLA_LAB_TIMEOUT (seconds, default 900) bounds the whole guest run.
set -euo pipefail
cd "$(dirname "$0")/../.."
repo=$PWD

quorla=${1:-build/default/src/platform/linux/quorla}
[ -x "$quorla" ] || { echo "tests/lab: no quorla binary at $quorla (build first)" >&2; exit 2; }

source scripts/install-packages.sh
source lab/prepare.sh
lab_prepare

work=$lab_dir/test
lab_config "$work" "$repo/tests/lab/scenarios.py" "$quorla"
echo "only=${QUORLA_LAB_ONLY:-}" >>"$work/config"

started=$(date +%s)
set +e
lab/host.py --timeout "${QUORLA_LAB_TIMEOUT:-900}" "$lab_dir" "$work" | tee "$work/out/guest.log"
status=${PIPESTATUS[0]}
set -e
echo "tests/lab: guest ran $(($(date +%s) - started)) s (qemu exit status $status)"

out=$work/out
passed=0
failed=0
if [ -f "$out/results" ]; then
  passed=$(grep -c '^PASS' "$out/results" || true)
  failed=$(grep -c '^FAIL' "$out/results" || true)
fi
if [ ! -f "$out/done" ]; then
  echo "FAIL  the guest stopped before the end of its run (see $out/console.log)"
  failed=$((failed + 1))
fi
echo "$passed passed, $failed failed"
if ((failed)); then
  echo "tests/lab: logs kept in $out (btmon.snoop: btmon -r; bluetoothd.log; agent-*.log)"
  exit 1
fi
