#!/usr/bin/env bash
# Compiles every file of src/platform/apple in syntax-only mode against the declarations
# in this folder, which stand in for Apple's SDK and Sparkle (written from their public
# documentation; the SDK itself may only be used on Apple hardware). A misspelt selector,
# a wrong argument type or a core port the adapters no longer match fails here, long
# before a Mac builds the bundle.
#
# Usage: check.sh [clang++]   (default: clang++ from PATH)
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
root="$(cd "$here/../.." && pwd)"
compiler="${1:-clang++}"

common=(-std=c++20 -fsyntax-only -Wall -Wextra -Wpedantic -Werror
        -isystem "$here" -I "$root/src")
objcxx=(-x objective-c++ -fobjc-arc -fblocks -fobjc-runtime=macosx-10.15 -fobjc-exceptions)

shopt -s nullglob
files=("$root"/src/platform/apple/*.mm "$root"/src/platform/apple/*.cpp)
if ((${#files[@]} == 0)); then
  echo "check.sh: no sources under src/platform/apple" >&2
  exit 1
fi

failed=0
for file in "${files[@]}"; do
  flags=("${common[@]}")
  [[ "$file" == *.mm ]] && flags+=("${objcxx[@]}")
  if "$compiler" "${flags[@]}" "$file"; then
    echo "ok   ${file#"$root"/}"
  else
    echo "FAIL ${file#"$root"/}"
    failed=1
  fi
done
exit "$failed"
