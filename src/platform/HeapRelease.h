// HeapRelease: hands the memory the process has freed back to the system.
// The C library keeps freed memory for reuse, in one arena per thread that
// allocated; a long-running service whose threads served a burst of work
// would otherwise stay at the burst's size while idle.
#pragma once

namespace pennaform::platform {

// releaseFreedHeap: returns the free pages of every arena to the system; the
// heap's contents are untouched. Costs a walk of the arenas: call it when the
// process has just gone idle, not on every free.
void releaseFreedHeap();

}  // namespace pennaform::platform
