// The mock's own safety: the BlueZ adapter's tests show the rest of it at work.

#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "bluez/harness/child_process.hpp"

namespace quorla::testing {
namespace {

// It would otherwise reach the real system bus.
TEST(MockBluezScript, RefusesToStartWithoutABusAddress) {
    ChildProcess mock({QUORLA_SYSTEM_PYTHON, QUORLA_MOCK_BLUEZ_SCRIPT}, -1);
    EXPECT_EQ(mock.status(std::chrono::steady_clock::now() + std::chrono::seconds(10)),
              std::string(QUORLA_SYSTEM_PYTHON) + " exited with 2");
}

}  // namespace
}  // namespace quorla::testing
