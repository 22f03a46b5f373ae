#pragma once

#include <vector>

#include "platform/scripting.hpp"

namespace quorla::automation {

// The client's meeting state as read from its menus. All false both for a client
// without a meeting and for a probe that learned nothing.
struct MenuStatus {
    bool isConnected = false;
    bool isMicActive = false;
    bool isCameraActive = false;
    bool isActiveSelected = false;

    friend bool operator==(const MenuStatus&, const MenuStatus&) = default;
};

// Runs the compiled "checkStatus" handler; never fails, any failure reads as all false.
MenuStatus callCheckStatus(platform::Script* checkStatusScript);

// The reply's items as Booleans, in order; items the reply cannot give are left out.
std::vector<bool> readBooleanList(const platform::EventDescriptor& reply);

}  // namespace quorla::automation
