// Declarations of the libdispatch calls the macOS adapters make, as Apple documents them
// (Dispatch, "dispatch_async", "dispatch_get_main_queue", "dispatch_source_create" with
// DISPATCH_SOURCE_TYPE_SIGNAL, "dispatch_source_set_event_handler", "dispatch_resume"). For
// the syntax-only check on machines without Apple's SDK; never used for a real build.
#pragma once

#include <objc/objc_base.h>

@protocol OS_dispatch_object <NSObject>
@end
@protocol OS_dispatch_queue <OS_dispatch_object>
@end
@protocol OS_dispatch_queue_main <OS_dispatch_queue>
@end
@protocol OS_dispatch_source <OS_dispatch_object>
@end

typedef NSObject<OS_dispatch_object>* dispatch_object_t;
typedef NSObject<OS_dispatch_queue>* dispatch_queue_t;
typedef NSObject<OS_dispatch_queue_main>* dispatch_queue_main_t;
typedef NSObject<OS_dispatch_source>* dispatch_source_t;
typedef void (^dispatch_block_t)(void);
typedef const struct dispatch_source_type_s* dispatch_source_type_t;

extern "C" {
dispatch_queue_main_t dispatch_get_main_queue(void);
void dispatch_async(dispatch_queue_t queue, dispatch_block_t block);

extern const struct dispatch_source_type_s _dispatch_source_type_signal;
#define DISPATCH_SOURCE_TYPE_SIGNAL (&_dispatch_source_type_signal)
dispatch_source_t dispatch_source_create(dispatch_source_type_t type, uintptr_t handle,
                                         unsigned long mask, dispatch_queue_t _Nullable queue);
void dispatch_source_set_event_handler(dispatch_source_t source,
                                       dispatch_block_t _Nullable handler);
void dispatch_resume(dispatch_object_t object);
}
