// Declarations of the Sparkle 2 classes, methods and delegate callbacks the macOS
// adapters use, with the selectors and types of Sparkle's documentation
// (SPUStandardUpdaterController, SPUUpdater, SPUUpdaterDelegate). Only for the
// syntax-only check on machines without the framework; never used for a real build.
#pragma once

#include <Foundation/Foundation.h>

#pragma clang assume_nonnull begin

@class SPUUpdater;

@protocol SPUUpdaterDelegate <NSObject>
@optional
- (nullable NSString*)feedURLStringForUpdater:(SPUUpdater*)updater;
@end

@protocol SPUStandardUserDriverDelegate <NSObject>
@end

@interface SPUUpdater : NSObject
- (void)checkForUpdatesInBackground;
@end

@interface SPUStandardUpdaterController : NSObject
@property(nonatomic, readonly) SPUUpdater* updater;
- (instancetype)initWithStartingUpdater:(BOOL)startUpdater
                        updaterDelegate:(nullable id<SPUUpdaterDelegate>)updaterDelegate
                     userDriverDelegate:
                         (nullable id<SPUStandardUserDriverDelegate>)userDriverDelegate;
- (void)startUpdater;
- (void)checkForUpdates:(nullable id)sender;
@end

#pragma clang assume_nonnull end
