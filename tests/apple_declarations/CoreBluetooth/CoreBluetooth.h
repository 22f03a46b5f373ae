// Declarations of the CoreBluetooth peripheral-role classes, methods and constants the
// macOS adapters use, with the selectors and types of Apple's CoreBluetooth
// documentation. Only for the syntax-only check on machines without Apple's SDK; never
// used for a real build.
#pragma once

#include <Foundation/Foundation.h>

#pragma clang assume_nonnull begin

// The adapters convert the core's values, naming only the encryption bits, which they check
// against the core's.
typedef enum CBManagerState : NSInteger {} CBManagerState;
typedef enum CBCharacteristicProperties : NSUInteger {
    CBCharacteristicPropertyNotifyEncryptionRequired = 0x100,
} CBCharacteristicProperties;
typedef enum CBAttributePermissions : NSUInteger {
    CBAttributePermissionsReadEncryptionRequired = 0x04,
    CBAttributePermissionsWriteEncryptionRequired = 0x08,
} CBAttributePermissions;
typedef enum CBATTError : NSInteger {} CBATTError;

extern "C" NSString* const CBAdvertisementDataServiceUUIDsKey;

@interface CBUUID : NSObject <NSCopying>
+ (CBUUID*)UUIDWithNSUUID:(NSUUID*)theUUID;
@end

@class CBCentral;

@interface CBCharacteristic : NSObject
@end

@interface CBMutableCharacteristic : CBCharacteristic
- (instancetype)initWithType:(CBUUID*)UUID
                  properties:(CBCharacteristicProperties)properties
                       value:(nullable NSData*)value
                 permissions:(CBAttributePermissions)permissions;
@property(retain, readonly, nullable) NSArray<CBCentral*>* subscribedCentrals;
@end

@interface CBMutableService : NSObject
- (instancetype)initWithType:(CBUUID*)UUID primary:(BOOL)isPrimary;
@property(retain, readwrite, nullable) NSArray<CBCharacteristic*>* characteristics;
@end

@interface CBATTRequest : NSObject
@property(readonly, nonatomic) CBCharacteristic* characteristic;
@property(readonly, nonatomic) NSUInteger offset;
@property(readwrite, copy, nullable) NSData* value;
@end

@interface CBManager : NSObject
@property(nonatomic, assign, readonly) CBManagerState state;
@end

@protocol CBPeripheralManagerDelegate;

@interface CBPeripheralManager : CBManager
@property(nonatomic, weak, nullable) id<CBPeripheralManagerDelegate> delegate;
- (instancetype)initWithDelegate:(nullable id<CBPeripheralManagerDelegate>)delegate
                           queue:(nullable dispatch_queue_t)queue;
- (void)addService:(CBMutableService*)service;
- (void)removeAllServices;
- (void)startAdvertising:(nullable NSDictionary<NSString*, id>*)advertisementData;
- (void)stopAdvertising;
- (void)respondToRequest:(CBATTRequest*)request withResult:(CBATTError)result;
- (BOOL)updateValue:(NSData*)value
       forCharacteristic:(CBMutableCharacteristic*)characteristic
    onSubscribedCentrals:(nullable NSArray<CBCentral*>*)centrals;
@end

@protocol CBPeripheralManagerDelegate <NSObject>
@required
- (void)peripheralManagerDidUpdateState:(CBPeripheralManager*)peripheral;
@optional
- (void)peripheralManager:(CBPeripheralManager*)peripheral
                         central:(CBCentral*)central
    didSubscribeToCharacteristic:(CBCharacteristic*)characteristic;
- (void)peripheralManager:(CBPeripheralManager*)peripheral
                             central:(CBCentral*)central
    didUnsubscribeFromCharacteristic:(CBCharacteristic*)characteristic;
- (void)peripheralManagerIsReadyToUpdateSubscribers:(CBPeripheralManager*)peripheral;
- (void)peripheralManager:(CBPeripheralManager*)peripheral
    didReceiveReadRequest:(CBATTRequest*)request;
- (void)peripheralManager:(CBPeripheralManager*)peripheral
    didReceiveWriteRequests:(NSArray<CBATTRequest*>*)requests;
@end

#pragma clang assume_nonnull end
