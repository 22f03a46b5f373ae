#!/usr/bin/env bash
# Builds and runs every test. With no argument it runs the default preset and then the
# AddressSanitizer + UndefinedBehaviorSanitizer preset; name one preset to run only that.
# Installs the Debian packages it needs first, when any is missing, in one line of progress
# (apt's output goes to build/apt.log, shown only when it fails).
set -euo pipefail
cd "$(dirname "$0")/.."

source scripts/install-packages.sh
install_missing_packages cmake ninja-build g++ pkg-config libgtest-dev libgmock-dev libssl-dev \
  libsystemd-dev nlohmann-json3-dev libcli11-dev

presets=("$@")
((${#presets[@]})) || presets=(default sanitize)
for preset in "${presets[@]}"; do
  cmake --preset "$preset"
  cmake --build --preset "$preset"
  ctest --preset "$preset"
done

# The adapter on the real stack, in the virtual Bluetooth lab (about a minute under TCG);
# QUORLA_SKIP_LAB=1 skips it where qemu cannot run.
if [ -z "${QUORLA_SKIP_LAB:-}" ]; then
  agent=build/${presets[0]}/src/platform/linux/quorla
  tests/lab/run.sh "$agent"
fi
