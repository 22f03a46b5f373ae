#pragma once

#include <array>
#include <cstddef>
#include <functional>
#include <optional>
#include <string_view>

namespace quorla::protocol {

// What a companion asked of the conferencing client, as announced inside the process.
class RequestMessageKey {
  public:
    enum Case : std::size_t {
        unmute,
        mute,
        activateCamera,
        deactivateCamera,
        toggleHand,
        raiseHand,
        lowerHand,
        selectActive,
        selectGallery,
        fetchState,
    };

    constexpr RequestMessageKey(Case value) : case_(value) {}

    // Exact whole-text match: no trimming, no case folding.
    static std::optional<RequestMessageKey> fromRawValue(std::string_view text);

    std::string_view rawValue() const { return rawValues[case_]; }
    Case value() const { return case_; }

    friend bool operator==(RequestMessageKey, RequestMessageKey) = default;

  private:
    static constexpr std::array<std::string_view, 10> rawValues{
        "unmute",    "mute",      "activateCamera", "deactivateCamera", "toggleHand",
        "raiseHand", "lowerHand", "selectActive",   "selectGallery",    "fetchState",
    };

    Case case_;
};

}  // namespace quorla::protocol

// A key hashes exactly as its raw text does, so keys and texts can share a table.
template <>
struct std::hash<quorla::protocol::RequestMessageKey> {
    std::size_t operator()(quorla::protocol::RequestMessageKey key) const noexcept {
        return std::hash<std::string_view>{}(key.rawValue());
    }
};
