#include "platform/HeapRelease.h"

#include <malloc.h>

namespace pennaform::platform {

void releaseFreedHeap() {
#ifdef __GLIBC__
    // 0 keeps no padding at the top of the main heap.
    (void)malloc_trim(0);
#endif
}

}  // namespace pennaform::platform
