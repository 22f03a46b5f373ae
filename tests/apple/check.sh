#!/usr/bin/env bash
# What can be checked of the macOS adapters without Apple's SDK, which may only be used on
# Apple hardware: their compilation is left to the Mac build (.github/workflows/macos.yml).
#
# Usage: check.sh
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
root="$(cd "$here/../.." && pwd)"
apple="$root/src/platform/apple"
failed=0

# A misspelt delegate callback compiles everywhere, as one more method that the framework then
# never calls. So every method the adapters implement must be one they declare themselves or
# one of these callbacks, spelt as Apple's and Sparkle's documentation spells them.
callbacks=(
  applicationDidFinishLaunching: applicationShouldTerminate: applicationWillTerminate:
  peripheralManagerDidUpdateState: peripheralManagerIsReadyToUpdateSubscribers:
  peripheralManager:central:didSubscribeToCharacteristic:
  peripheralManager:central:didUnsubscribeFromCharacteristic:
  peripheralManager:didReceiveReadRequest: peripheralManager:didReceiveWriteRequests:
  feedURLStringForUpdater:
)
adapters=("$apple"/*.mm)
listed="$(awk -f "$here/selectors.awk" "${adapters[@]}")"
declared="$( (printf '%s\n' "${callbacks[@]}"; sed -n 's/^D //p' <<<"$listed") | sort -u)"
implemented="$(sed -n 's/^I //p' <<<"$listed" | sort -u)"
undeclared="$(comm -13 <(echo "$declared") <(echo "$implemented"))"
if [[ -z "$implemented" ]]; then
  echo "FAIL no Objective-C methods found in the adapters"
  failed=1
elif [[ -n "$undeclared" ]]; then
  echo "FAIL methods that are neither a documented callback nor declared (misspelt?):" $undeclared
  failed=1
else
  echo "ok   $(wc -l <<<"$implemented") implemented methods, each declared"
fi

# CloudKit hands the lookup only to the container the signed app is entitled to, and
# the container's name is "iCloud." followed by the bundle identifier.
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
