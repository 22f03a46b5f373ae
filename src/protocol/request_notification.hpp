#pragma once

#include <string>

namespace quorla::protocol {

// Posted on the default notification center after each carried-out request; its user
// info holds the RequestMessageKey itself (not its text) under requestMessageUserInfoKey.
inline const std::string requestNotificationName = "request";
inline const std::string requestMessageUserInfoKey = "message";

}  // namespace quorla::protocol
