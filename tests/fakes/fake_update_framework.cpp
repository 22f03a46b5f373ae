#include "fakes/fake_update_framework.hpp"

#include "fakes/call_log.hpp"

namespace quorla::fakes {

class FakeUpdater final : public platform::Updater {
  public:
    explicit FakeUpdater(FakeUpdateFramework& framework) : framework_(framework) {}

    void setFeedURL(std::optional<std::string> url) override {
        framework_.record("updater feed " + url.value_or("none"));
    }
    void checkForUpdatesInBackground() override { framework_.record("updater background check"); }
    void checkForUpdates() override { framework_.record("updater user check"); }

  private:
    FakeUpdateFramework& framework_;
};

std::unique_ptr<platform::Updater> FakeUpdateFramework::makeUpdater() {
    if (!isAvailable)
        return nullptr;
    record("updater created");
    return std::make_unique<FakeUpdater>(*this);
}

void FakeUpdateFramework::record(std::string call) {
    CallLog::shared().add(call);
    calls.push_back(std::move(call));
}

}  // namespace quorla::fakes
