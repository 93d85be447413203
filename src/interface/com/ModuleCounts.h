// The module's count of live objects and LockServer locks, which
// DllCanUnloadNow reads.
#pragma once

#include <atomic>
#include <cstdint>

namespace pennaform::com {

// ModuleCounts: one count for live objects (controls, and references on the
// class factory) and one for LockServer locks; both interlocked, since a host
// may ask DllCanUnloadNow from any thread.
struct ModuleCounts {
    std::atomic<std::int64_t> objects{0};
    std::atomic<std::int64_t> locks{0};

    bool idle() const { return objects.load() == 0 && locks.load() == 0; }
};

ModuleCounts& moduleCounts();

}  // namespace pennaform::com
