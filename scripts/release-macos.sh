#!/usr/bin/env bash
# Builds Quorla.app for download on a Mac: the universal release signed with the Developer ID
# identity, notarised and stapled, packed as Sparkle expects, signed with the update key, and
# entered in appcast.xml. Each step stops with one line saying what it lacks.
#
#   scripts/release-macos.sh
#
# Read from the environment:
#   QUORLA_CODESIGN_IDENTITY      "Developer ID Application: Name (TEAMID)"
#   QUORLA_TEAM_ID                that identity's team
#   QUORLA_PROVISIONING_PROFILE   Developer ID profile for app.quorla.Quorla with iCloud (CloudKit)
#   QUORLA_SPARKLE_PUBLIC_ED_KEY  the update key's public half, as generate_keys prints it
#   SPARKLE_ED_KEY_FILE           its private half, as generate_keys -x writes it; unset, Sparkle's
#                                 sign_update reads it from the login keychain
#   QUORLA_DOWNLOAD_URL           where the archive will be served, ending in /
#   Notarisation, one of:
#     QUORLA_NOTARY_PROFILE       a keychain profile saved by `xcrun notarytool store-credentials`
#     QUORLA_NOTARY_KEY, QUORLA_NOTARY_KEY_ID, QUORLA_NOTARY_ISSUER
#                                 an App Store Connect API key: its .p8 file, key ID and issuer
#     QUORLA_SKIP_NOTARISATION=1  none, for a trial with a throwaway identity
#   QUORLA_CODESIGN_TIMESTAMP     OFF signs without Apple's timestamp (a throwaway identity)
#   QUORLA_RELEASE_DIR            the build folder (default build/release)
#
# Leaves Quorla-<version>.zip and appcast.xml in the build folder; an appcast.xml already there
# keeps its other versions and loses an earlier entry of this one.
set -euo pipefail
cd "$(dirname "$0")/.."

fail() {
  echo "release-macos: $*" >&2
  exit 1
}
need() {
  [[ -n "${!1:-}" ]] || fail "$1 is not set: $2"
}

# ---- What every step needs, checked before the build ----

[[ "$(uname -s)" == Darwin ]] || fail "needs macOS: codesign, notarytool, stapler and ditto are Apple's"
for tool in cmake ditto codesign xcrun python3; do
  command -v "$tool" >/dev/null || fail "$tool is not on PATH"
done
need QUORLA_CODESIGN_IDENTITY "the Developer ID Application identity that signs the app"
need QUORLA_TEAM_ID "the team of that identity"
need QUORLA_PROVISIONING_PROFILE "the Developer ID profile authorising CloudKit"
[[ -f "$QUORLA_PROVISIONING_PROFILE" ]] || fail "no provisioning profile at $QUORLA_PROVISIONING_PROFILE"
need QUORLA_DOWNLOAD_URL "the address the archive will be served from, ending in /"
[[ "$QUORLA_DOWNLOAD_URL" == https://*/ ]] ||
  fail "QUORLA_DOWNLOAD_URL must be an https:// address ending in /, not $QUORLA_DOWNLOAD_URL"
if [[ -n "${SPARKLE_ED_KEY_FILE:-}" ]]; then
  [[ -f "$SPARKLE_ED_KEY_FILE" ]] || fail "no EdDSA private key at SPARKLE_ED_KEY_FILE=$SPARKLE_ED_KEY_FILE"
  key_options=(--ed-key-file "$SPARKLE_ED_KEY_FILE")
else
  key_options=()
fi
need QUORLA_SPARKLE_PUBLIC_ED_KEY "the public EdDSA key Sparkle checks updates with (generate_keys -p)"
if [[ "${QUORLA_SKIP_NOTARISATION:-}" == 1 ]]; then
  notary=()
elif [[ -n "${QUORLA_NOTARY_PROFILE:-}" ]]; then
  notary=(--keychain-profile "$QUORLA_NOTARY_PROFILE")
elif [[ -n "${QUORLA_NOTARY_KEY:-}" ]]; then
  need QUORLA_NOTARY_KEY_ID "the App Store Connect API key's ID"
  need QUORLA_NOTARY_ISSUER "the App Store Connect API key's issuer"
  [[ -f "$QUORLA_NOTARY_KEY" ]] || fail "no App Store Connect API key at $QUORLA_NOTARY_KEY"
  notary=(--key "$QUORLA_NOTARY_KEY" --key-id "$QUORLA_NOTARY_KEY_ID" --issuer "$QUORLA_NOTARY_ISSUER")
else
  fail "no notarisation credentials: set QUORLA_NOTARY_PROFILE, or QUORLA_NOTARY_KEY with" \
    "QUORLA_NOTARY_KEY_ID and QUORLA_NOTARY_ISSUER (QUORLA_SKIP_NOTARISATION=1 for a trial)"
fi

build=${QUORLA_RELEASE_DIR:-build/release}
app=$build/src/platform/apple/Quorla.app

# ---- 1. The universal release, signed inside out ----

echo "release-macos: building $app"
cmake --preset macos -B "$build" -DBUILD_TESTING=OFF \
  -DQUORLA_CODESIGN_IDENTITY="$QUORLA_CODESIGN_IDENTITY" -DQUORLA_TEAM_ID="$QUORLA_TEAM_ID" \
  -DQUORLA_PROVISIONING_PROFILE="$QUORLA_PROVISIONING_PROFILE" \
  -DQUORLA_SPARKLE_PUBLIC_ED_KEY="$QUORLA_SPARKLE_PUBLIC_ED_KEY" \
  -DQUORLA_CODESIGN_TIMESTAMP="${QUORLA_CODESIGN_TIMESTAMP:-ON}"
cmake --build "$build" --target Quorla

info() { python3 -c 'import plistlib, sys; print(plistlib.load(open(sys.argv[1], "rb"))[sys.argv[2]])' "$app/Contents/Info.plist" "$1"; }
version=$(info CFBundleVersion)
short_version=$(info CFBundleShortVersionString)
minimum_system=$(info LSMinimumSystemVersion)
sparkle_version=$(sed -n 's/^QUORLA_SPARKLE_VERSION:STRING=//p' "$build/CMakeCache.txt")
sign_update=$build/sparkle-$sparkle_version/bin/sign_update
[[ -x "$sign_update" ]] || fail "no sign_update at $sign_update (from Sparkle's checked archive)"

# ---- 2. Notarised and stapled ----

if ((${#notary[@]} == 0)); then
  echo "release-macos: notarisation skipped (QUORLA_SKIP_NOTARISATION=1): Gatekeeper will refuse this download"
else
  upload=$build/Quorla-notarisation.zip
  rm -f "$upload"
  ditto -c -k --keepParent "$app" "$upload"
  echo "release-macos: notarising (waits for Apple's answer)"
  xcrun notarytool submit "$upload" "${notary[@]}" --wait --output-format json >"$build/notarisation.json" ||
    fail "notarytool submit failed (its message is above)"
  # --wait returns once Apple has answered, whatever the answer.
  answer() { python3 -c 'import json, sys; print(json.load(open(sys.argv[1])).get(sys.argv[2], ""))' "$build/notarisation.json" "$1"; }
  status=$(answer status)
  [[ "$status" == Accepted ]] ||
    fail "Apple's notary service answered '$status'; its reasons: xcrun notarytool log $(answer id) ${notary[*]}"
  xcrun stapler staple "$app"
  xcrun stapler validate "$app"
fi

# ---- 3. Packed for download, as Sparkle's "Publishing an update" makes it ----

archive=$build/Quorla-$short_version.zip
rm -f "$archive"
ditto -c -k --sequesterRsrc --keepParent "$app" "$archive"

# ---- 4. Signed with the update key and entered in the appcast ----

# ${a[@]+...}: macOS's bash 3.2 calls an empty array unbound under set -u.
signed=$("$sign_update" ${key_options[@]+"${key_options[@]}"} "$archive") ||
  fail "sign_update failed: $signed"
signature=$(sed -n 's/.*sparkle:edSignature="\([^"]*\)".*/\1/p' <<<"$signed")
length=$(sed -n 's/.* length="\([0-9]*\)".*/\1/p' <<<"$signed")
[[ -n "$signature" && -n "$length" ]] || fail "sign_update printed no signature and length: $signed"

python3 - "$build/appcast.xml" "$version" "$short_version" "$minimum_system" \
  "$QUORLA_DOWNLOAD_URL$(basename "$archive")" "$length" "$signature" <<'PYTHON'
import email.utils
import os
import sys
import xml.etree.ElementTree as tree

path, version, short_version, minimum_system, url, length, signature = sys.argv[1:]
SPARKLE = "http://www.andymatuschak.org/xml-namespaces/sparkle"
tree.register_namespace("sparkle", SPARKLE)
tree.register_namespace("dc", "http://purl.org/dc/elements/1.1/")

if os.path.exists(path):
    feed = tree.parse(path).getroot()
else:
    feed = tree.Element("rss", {"version": "2.0"})
    channel = tree.SubElement(feed, "channel")
    tree.SubElement(channel, "title").text = "Quorla"
channel = feed.find("channel")
for item in channel.findall("item"):
    if item.findtext(f"{{{SPARKLE}}}version") == version:
        channel.remove(item)

item = tree.Element("item")
tree.SubElement(item, "title").text = f"Version {short_version}"
tree.SubElement(item, "pubDate").text = email.utils.formatdate(usegmt=True)
tree.SubElement(item, f"{{{SPARKLE}}}version").text = version
tree.SubElement(item, f"{{{SPARKLE}}}shortVersionString").text = short_version
# Sparkle compares three-part system versions.
parts = (minimum_system.split(".") + ["0", "0"])[:3]
tree.SubElement(item, f"{{{SPARKLE}}}minimumSystemVersion").text = ".".join(parts)
tree.SubElement(item, "enclosure", {"url": url, "length": length,
                                    "type": "application/octet-stream",
                                    f"{{{SPARKLE}}}edSignature": signature})
# The newest first, after the channel's own elements.
first_item = next((i for i, e in enumerate(channel) if e.tag == "item"), len(channel))
channel.insert(first_item, item)
tree.indent(feed)
tree.ElementTree(feed).write(path, encoding="utf-8", xml_declaration=True)
PYTHON

echo "release-macos: $archive ($length bytes), version $short_version ($version), in $build/appcast.xml"
