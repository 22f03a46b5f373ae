#include "platform/apple/write_batches.hpp"

#include <gtest/gtest.h>

#include <string>

namespace quorla::platform::apple {
namespace {

using Batches = WriteBatches<std::string>;

constexpr auto failure = static_cast<AttResult>(0x03);

TEST(WriteBatches, AnswersEachBatchOnceWithItsFirstRequestWhenTheLastWriteIsAnswered) {
    Batches batches;
    batches.add({1, 2, 3}, "first of three");
    batches.add({4}, "single");

    EXPECT_EQ(batches.answer(2, AttResult::success), std::nullopt);
    const auto single = batches.answer(4, AttResult::success);
    ASSERT_TRUE(single);
    EXPECT_EQ(single->request, "single");
    EXPECT_EQ(batches.answer(3, AttResult::success), std::nullopt);
    const auto three = batches.answer(1, AttResult::success);
    ASSERT_TRUE(three);
    EXPECT_EQ(three->request, "first of three");
    EXPECT_EQ(three->result, AttResult::success);
    EXPECT_FALSE(batches.contains(1));
}

TEST(WriteBatches, IgnoresSecondAnswersAndUnknownIds) {
    Batches batches;
    batches.add({1, 2}, "first");
    EXPECT_EQ(batches.answer(1, AttResult::success), std::nullopt);
    EXPECT_EQ(batches.answer(1, AttResult::success), std::nullopt)
        << "answering one write twice must not complete its batch";
    EXPECT_EQ(batches.answer(7, AttResult::success), std::nullopt);
    EXPECT_TRUE(batches.answer(2, AttResult::success));
}

TEST(WriteBatches, GivesTheBatchItsFirstFailure) {
    Batches batches;
    batches.add({1, 2, 3}, "first");
    batches.answer(1, AttResult::success);
    batches.answer(2, failure);
    const auto answer = batches.answer(3, AttResult::success);
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->result, failure);
}

}  // namespace
}  // namespace quorla::platform::apple
