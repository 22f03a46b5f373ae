#include "platform/apple/write_batches.hpp"

#include <gtest/gtest.h>

#include <string>

namespace quorla::platform::apple {
namespace {

constexpr auto failure = static_cast<AttResult>(0x03);

// Each batch is answered once, with its first request and its first failure, when the
// last of its writes is answered; second answers and unknown ids change nothing.
TEST(WriteBatches, AnswersEachBatchOnceWithItsFirstRequestAndFirstFailure) {
    WriteBatches<std::string> batches;
    batches.add({1, 2, 3}, "first of three");
    batches.add({4}, "single");
    batches.add({5, 6}, "pair");

    EXPECT_EQ(batches.answer(2, failure), std::nullopt);
    EXPECT_EQ(batches.answer(2, AttResult::success), std::nullopt) << "answered twice";
    EXPECT_EQ(batches.answer(7, AttResult::success), std::nullopt);
    const auto single = batches.answer(4, AttResult::success);
    ASSERT_TRUE(single);
    EXPECT_EQ(single->request, "single");
    EXPECT_EQ(single->result, AttResult::success);
    EXPECT_EQ(batches.answer(3, static_cast<AttResult>(0x0E)), std::nullopt);
    const auto three = batches.answer(1, AttResult::success);
    ASSERT_TRUE(three);
    EXPECT_EQ(three->request, "first of three");
    EXPECT_EQ(three->result, failure);
    EXPECT_FALSE(batches.contains(1));
    EXPECT_TRUE(batches.contains(5));
}

}  // namespace
}  // namespace quorla::platform::apple
