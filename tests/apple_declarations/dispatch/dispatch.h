// Declarations of the libdispatch calls the macOS adapters make, as Apple documents them
// (Dispatch, "dispatch_async", "dispatch_get_main_queue"). For the syntax-only check on
// machines without Apple's SDK; never used for a real build.
#pragma once

#include <objc/objc_base.h>

@protocol OS_dispatch_object <NSObject>
@end
@protocol OS_dispatch_queue <OS_dispatch_object>
@end
@protocol OS_dispatch_queue_main <OS_dispatch_queue>
@end

typedef NSObject<OS_dispatch_queue>* dispatch_queue_t;
typedef NSObject<OS_dispatch_queue_main>* dispatch_queue_main_t;
typedef void (^dispatch_block_t)(void);

extern "C" {
dispatch_queue_main_t dispatch_get_main_queue(void);
void dispatch_async(dispatch_queue_t queue, dispatch_block_t block);
}
