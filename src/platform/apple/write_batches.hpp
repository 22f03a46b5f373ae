#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/peripheral.hpp"

namespace quorla::platform::apple {

// The core answers every write on its own; CoreBluetooth takes one answer per batch of
// writes, given with the batch's first request. This collects the core's answers and
// yields the batch's one answer when its last write has been answered: the first result
// that was not success, otherwise success.
template <class Handle>
class WriteBatches {
  public:
    struct Answer {
        Handle request;
        AttResult result;
    };

    // ids: the ids given to the batch's requests; first: the batch's first request.
    void add(const std::vector<std::uint64_t>& ids, Handle first) {
        auto batch = std::make_shared<Batch>(Batch{std::move(first), ids.size(), std::nullopt});
        for (auto id : ids)
            byRequest_.emplace(id, batch);
    }

    bool contains(std::uint64_t id) const { return byRequest_.contains(id); }

    // None while the batch waits for more answers, and for an id not waiting at all.
    std::optional<Answer> answer(std::uint64_t id, AttResult result) {
        const auto found = byRequest_.find(id);
        if (found == byRequest_.end())
            return std::nullopt;
        const auto batch = found->second;
        byRequest_.erase(found);
        if (result != AttResult::success && !batch->failure)
            batch->failure = result;
        if (--batch->unanswered > 0)
            return std::nullopt;
        return Answer{batch->first, batch->failure.value_or(AttResult::success)};
    }

  private:
    struct Batch {
        Handle first;
        std::size_t unanswered;
        std::optional<AttResult> failure;
    };

    std::unordered_map<std::uint64_t, std::shared_ptr<Batch>> byRequest_;
};

}  // namespace quorla::platform::apple
