#include "app/icloud_identity.hpp"

#include <utility>

#include "bluetooth/identifiers.hpp"

namespace quorla::app {

namespace {

void recordOutcome(const std::optional<platform::UserRecordID>& recordID,
                   const std::optional<platform::CloudError>& error,
                   platform::UserDefaults& defaults, std::ostream& console) {
    if (error) {
        console << error->localizedDescription << '\n';
        return;
    }
    if (!recordID || recordID->recordName.empty())
        return;
    console << "found userID: " << recordID->recordName << '\n';
    defaults.setString(bluetooth::iCloudUserIDDefaultsKey, recordID->recordName);
}

}  // namespace

void fetchICloudUserID(platform::CloudIdentity& cloudIdentity, platform::MainQueue& mainQueue,
                       platform::UserDefaults& defaults, std::ostream& console,
                       IdentityContinuation continuation) {
    // The completion may come on any thread; everything after it belongs on the main one.
    auto onMainQueue = [&mainQueue, &defaults, &console, continuation = std::move(continuation)](
                           std::optional<platform::UserRecordID> recordID,
                           std::optional<platform::CloudError> error) {
        // An error wins: a record that comes with one is dropped, so the continuation
        // never sees a name that was neither printed nor stored.
        if (error)
            recordID.reset();
        mainQueue.async([&defaults, &console, continuation, recordID = std::move(recordID),
                         error = std::move(error)] {
            recordOutcome(recordID, error, defaults, console);
            continuation(recordID, error);
        });
    };
    cloudIdentity.fetchUserRecordID(cloudContainerIdentifier, std::move(onMainQueue));
}

}  // namespace quorla::app
