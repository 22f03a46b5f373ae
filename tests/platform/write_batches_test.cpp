#include "platform/apple/write_batches.hpp"

#include <gtest/gtest.h>

#include <string>
#include <utility>

namespace quorla::platform::apple {
namespace {

// Each batch is answered once, with its first request and its first failure, when the
// last of its writes is answered; second answers and unknown ids change nothing.
TEST(WriteBatches, AnswersEachBatchOnceWithItsFirstRequestAndFirstFailure) {
    WriteBatches<std::string> batches;
    batches.add({1, 2, 3}, "first of three");
    batches.add({4}, "single");
    batches.add({5, 6}, "pair");
    std::string told;
    for (const auto& [id, result] :
         {std::pair{2, 0x03}, {2, 0}, {7, 0}, {4, 0}, {3, 0x0E}, {1, 0}}) {
        const auto answer = batches.answer(id, static_cast<AttResult>(result));
        told += answer ? answer->request + " " + std::to_string(int(answer->result)) + ", " : "-, ";
    }
    EXPECT_EQ(told, "-, -, -, single 0, -, first of three 3, ");
    EXPECT_FALSE(batches.contains(1));
    EXPECT_TRUE(batches.contains(5));
}

}  // namespace
}  // namespace quorla::platform::apple
