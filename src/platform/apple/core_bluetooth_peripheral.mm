#if !__has_feature(objc_arc)
#error "Build with -fobjc-arc"
#endif

#import <CoreBluetooth/CoreBluetooth.h>

#include <cstdint>
#include <functional>
#include <unordered_map>
#include <utility>

#include "platform/apple/apple_platform.hpp"
#include "platform/apple/characteristic_registry.hpp"
#include "platform/apple/write_batches.hpp"

namespace quorla::platform::apple {
namespace {

class CoreBluetoothPeripheralManager;

// Turns CoreBluetooth's delegate callbacks into the core's, with the core's types.
class PeripheralBridge {
  public:
    PeripheralBridge(CoreBluetoothPeripheralManager& manager, PeripheralManagerDelegate& delegate)
        : manager_(manager), delegate_(delegate) {}

    void didUpdateState();
    void didSubscribe(CBCharacteristic* characteristic);
    void didUnsubscribe(CBCharacteristic* characteristic);
    void isReadyToUpdateSubscribers();
    void didReceiveReadRequest(CBATTRequest* request);
    void didReceiveWriteRequests(NSArray<CBATTRequest*>* requests);

  private:
    CoreBluetoothPeripheralManager& manager_;
    PeripheralManagerDelegate& delegate_;
};

}  // namespace
}  // namespace quorla::platform::apple

using quorla::platform::apple::PeripheralBridge;

// CoreBluetooth holds its delegate weakly; the manager adapter holds this one.
@interface QuorlaPeripheralManagerDelegate : NSObject <CBPeripheralManagerDelegate>
- (instancetype)initWithBridge:(std::unique_ptr<PeripheralBridge>)bridge;
@end

@implementation QuorlaPeripheralManagerDelegate {
    std::unique_ptr<PeripheralBridge> _bridge;
}

- (instancetype)initWithBridge:(std::unique_ptr<PeripheralBridge>)bridge {
    if ((self = [super init]))
        _bridge = std::move(bridge);
    return self;
}

- (void)peripheralManagerDidUpdateState:(CBPeripheralManager*)peripheral {
    _bridge->didUpdateState();
}

- (void)peripheralManager:(CBPeripheralManager*)peripheral
                         central:(CBCentral*)central
    didSubscribeToCharacteristic:(CBCharacteristic*)characteristic {
    _bridge->didSubscribe(characteristic);
}

- (void)peripheralManager:(CBPeripheralManager*)peripheral
                             central:(CBCentral*)central
    didUnsubscribeFromCharacteristic:(CBCharacteristic*)characteristic {
    _bridge->didUnsubscribe(characteristic);
}

- (void)peripheralManagerIsReadyToUpdateSubscribers:(CBPeripheralManager*)peripheral {
    _bridge->isReadyToUpdateSubscribers();
}

- (void)peripheralManager:(CBPeripheralManager*)peripheral
    didReceiveReadRequest:(CBATTRequest*)request {
    _bridge->didReceiveReadRequest(request);
}

- (void)peripheralManager:(CBPeripheralManager*)peripheral
    didReceiveWriteRequests:(NSArray<CBATTRequest*>*)requests {
    _bridge->didReceiveWriteRequests(requests);
}

@end

namespace quorla::platform::apple {
namespace {

struct SameCharacteristic {
    bool operator()(CBMutableCharacteristic* made, CBCharacteristic* reported) const {
        return [made isEqual:reported];
    }
};

CBUUID* toCBUUID(const Uuid& uuid) {
    return [CBUUID UUIDWithNSUUID:[[NSUUID alloc] initWithUUIDBytes:uuid.bytes.data()]];
}

NSData* toNSData(const Bytes& bytes) {
    return [NSData dataWithBytes:bytes.data() length:bytes.size()];
}

class CoreBluetoothPeripheralManager final : public PeripheralManager {
  public:
    CoreBluetoothPeripheralManager(PeripheralManagerDelegate& delegate,
                                   AppKitApplication& application)
        : application_(application),
          callbacks_([[QuorlaPeripheralManagerDelegate alloc]
              initWithBridge:std::make_unique<PeripheralBridge>(*this, delegate)]),
          manager_([[CBPeripheralManager alloc] initWithDelegate:callbacks_ queue:nil]),
          holdId_(application.addTerminationHold(
              [this](std::function<void()> finished) { holdTermination(std::move(finished)); })) {}

    ~CoreBluetoothPeripheralManager() override {
        application_.removeTerminationHold(holdId_);
        manager_.delegate = nil;
        [manager_ stopAdvertising];
        [manager_ removeAllServices];
    }

    ManagerState state() const override { return static_cast<ManagerState>(manager_.state); }

    // The core's bits are CoreBluetooth's, so they pass through as they are.
    static_assert(CBCharacteristicPropertyNotifyEncryptionRequired ==
                  characteristic_property::notifyEncryptionRequired);
    static_assert(CBAttributePermissionsReadEncryptionRequired ==
                  attribute_permission::readEncryptionRequired);
    static_assert(CBAttributePermissionsWriteEncryptionRequired ==
                  attribute_permission::writeEncryptionRequired);

    void removeAllServices() override { [manager_ removeAllServices]; }

    void addService(const Service& service) override {
        NSMutableArray<CBCharacteristic*>* characteristics =
            [NSMutableArray arrayWithCapacity:service.characteristics.size()];
        for (const auto& characteristic : service.characteristics) {
            CBMutableCharacteristic* made = [[CBMutableCharacteristic alloc]
                initWithType:toCBUUID(characteristic->type)
                  properties:static_cast<CBCharacteristicProperties>(characteristic->properties)
                       value:nil
                 permissions:static_cast<CBAttributePermissions>(characteristic->permissions)];
            registry_.add(characteristic, made);
            [characteristics addObject:made];
        }
        CBMutableService* made = [[CBMutableService alloc] initWithType:toCBUUID(service.type)
                                                                primary:service.isPrimary];
        made.characteristics = characteristics;
        [manager_ addService:made];
    }

    void startAdvertising(const AdvertisementData& advertisement) override {
        NSMutableArray<CBUUID*>* uuids =
            [NSMutableArray arrayWithCapacity:advertisement.serviceUuids.size()];
        for (const auto& uuid : advertisement.serviceUuids)
            [uuids addObject:toCBUUID(uuid)];
        [manager_ startAdvertising:@{CBAdvertisementDataServiceUUIDsKey : uuids}];
    }

    void respond(const AttRequest& request, AttResult result) override {
        if (const auto read = pendingReads_.find(request.id); read != pendingReads_.end()) {
            CBATTRequest* answered = read->second;
            pendingReads_.erase(read);
            if (request.value)
                answered.value = toNSData(*request.value);
            [manager_ respondToRequest:answered withResult:static_cast<CBATTError>(result)];
        } else if (const auto answer = writes_.answer(request.id, result)) {
            [manager_ respondToRequest:answer->request
                            withResult:static_cast<CBATTError>(answer->result)];
        }
    }

    bool updateValue(const Bytes& value, const CharacteristicRef& characteristic) override {
        CBMutableCharacteristic* made = registry_.handleFor(characteristic);
        // Never published, so nobody is subscribed to it.
        if (!made)
            return true;
        lastUpdated_ = made;
        return [manager_ updateValue:toNSData(value)
                   forCharacteristic:made
                onSubscribedCentrals:nil];
    }

    CharacteristicRef characteristicFor(CBCharacteristic* characteristic) const {
        return registry_.characteristicFor(characteristic);
    }

    AttRequest receiveRead(CBATTRequest* request) {
        auto translated = toAttRequest(request);
        pendingReads_.emplace(translated.id, request);
        return translated;
    }

    std::vector<AttRequest> receiveWrites(NSArray<CBATTRequest*>* requests) {
        std::vector<AttRequest> translated;
        std::vector<std::uint64_t> ids;
        for (CBATTRequest* request in requests) {
            translated.push_back(toAttRequest(request));
            ids.push_back(translated.back().id);
        }
        if (requests.count > 0)
            writes_.add(ids, requests[0]);
        return translated;
    }

  private:
    AppKitApplication& application_;
    QuorlaPeripheralManagerDelegate* callbacks_;
    CBPeripheralManager* manager_;
    std::uint64_t holdId_;
    CBMutableCharacteristic* lastUpdated_ = nil;
    CharacteristicRegistry<CBMutableCharacteristic*, SameCharacteristic> registry_;
    std::unordered_map<std::uint64_t, CBATTRequest*> pendingReads_;
    WriteBatches<CBATTRequest*> writes_;
    std::uint64_t nextRequestId_ = 1;

    // CoreBluetooth says when its transmit queue has room again after a refusal, never
    // when a notification has gone out. So while a central is subscribed to the value
    // sent last (the status with the meeting cleared), the exit waits the whole deadline.
    void holdTermination(std::function<void()> finished) {
        if (lastUpdated_.subscribedCentrals.count == 0)
            finished();
    }

    // The one place where CoreBluetooth's requests become the core's.
    AttRequest toAttRequest(CBATTRequest* request) {
        std::optional<Bytes> value;
        if (NSData* data = request.value) {
            const auto* bytes = static_cast<const std::uint8_t*>(data.bytes);
            value = Bytes(bytes, bytes + data.length);
        }
        return {nextRequestId_++, characteristicFor(request.characteristic), std::move(value),
                request.offset};
    }
};

void PeripheralBridge::didUpdateState() {
    delegate_.didUpdateState(manager_);
}

void PeripheralBridge::didSubscribe(CBCharacteristic* characteristic) {
    delegate_.didSubscribe(manager_, manager_.characteristicFor(characteristic));
}

void PeripheralBridge::didUnsubscribe(CBCharacteristic* characteristic) {
    delegate_.didUnsubscribe(manager_, manager_.characteristicFor(characteristic));
}

void PeripheralBridge::isReadyToUpdateSubscribers() {
    delegate_.isReadyToUpdateSubscribers(manager_);
}

void PeripheralBridge::didReceiveReadRequest(CBATTRequest* request) {
    auto translated = manager_.receiveRead(request);
    delegate_.didReceiveReadRequest(manager_, translated);
}

void PeripheralBridge::didReceiveWriteRequests(NSArray<CBATTRequest*>* requests) {
    delegate_.didReceiveWriteRequests(manager_, manager_.receiveWrites(requests));
}

}  // namespace

std::unique_ptr<PeripheralManager> makeCoreBluetoothPeripheralManager(
    PeripheralManagerDelegate& delegate, AppKitApplication& application) {
    return std::make_unique<CoreBluetoothPeripheralManager>(delegate, application);
}

}  // namespace quorla::platform::apple
