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

# Clang rejects a misspelt message, but a misspelt delegate callback is only one more
# method, which the framework then never calls. So every method the adapters implement
# must be declared: by the adapters themselves or by the declarations here.
mapfile -t headers < <(find "$here" -name '*.h' | sort)
adapters=("$root"/src/platform/apple/*.mm)
declared="$(awk -f "$here/selectors.awk" "${headers[@]}" "${adapters[@]}" | sed -n 's/^D //p' | sort -u)"
implemented="$(awk -f "$here/selectors.awk" "${adapters[@]}" | sed -n 's/^I //p' | sort -u)"
undeclared="$(comm -13 <(echo "$declared") <(echo "$implemented"))"
if [[ -z "$implemented" ]]; then
  echo "FAIL no Objective-C methods found in the adapters"
  failed=1
elif [[ -n "$undeclared" ]]; then
  echo "FAIL methods declared nowhere (a misspelt callback?):" $undeclared
  failed=1
else
  echo "ok   $(wc -l <<<"$implemented") implemented methods, each declared"
fi

# CloudKit hands the lookup only to the container the signed app is entitled to, and
# the container's name is "iCloud." followed by the bundle identifier.
apple="$root/src/platform/apple"
bundle_id="$(sed -n 's/^set(QUORLA_BUNDLE_IDENTIFIER "\(.*\)")$/\1/p' "$apple/CMakeLists.txt")"
core_container="$(sed -n 's/.*cloudContainerIdentifier = "\(.*\)";$/\1/p' "$root/src/app/icloud_identity.hpp")"
entitled="$(sed -n 's/^[[:space:]]*<string>\(iCloud\..*\)<\/string>$/\1/p' "$apple/Quorla.entitlements")"
if [[ -n "$bundle_id" && "$core_container" == "iCloud.$bundle_id" && "$entitled" == "$core_container" ]] &&
   ! grep -q 'com.apple.developer' "$apple/Quorla-development.entitlements"; then
  echo "ok   container $core_container for bundle $bundle_id"
else
  echo "FAIL container: bundle '$bundle_id', core '$core_container', entitled '$entitled'," \
       "or CloudKit in the development entitlements"
  failed=1
fi
exit "$failed"
