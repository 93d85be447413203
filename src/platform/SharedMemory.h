// SharedMemory: named memory blocks and named events shared by every process
// of the user's session (the signer port lives in one of each).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string_view>

#include "platform/Outcome.h"
#include "platform/PlatformTypes.h"

namespace pennaform::platform {

// SharedBlock: an open named block. The block lives at least as long as some
// process holds a SharedBlock for its name (a backend may keep it longer: the
// POSIX one keeps it for the user's login session); the caller owns the
// object. Each SharedBlock holds the lock on its own, so two objects of one
// process exclude each other as two processes do.
class SharedBlock {
public:
    virtual ~SharedBlock() = default;

    // created: true when this open made the block (it then started
    // zero-filled), false when it existed already (Windows reports
    // ERROR_ALREADY_EXISTS in that case).
    virtual bool created() const = 0;
    // size: the block's size in bytes; for a block that existed, its existing
    // size, whatever size the open asked for.
    virtual std::uint32_t size() const = 0;
    // access: runs `body` on the whole block while holding the block's lock,
    // which every process that opened the name shares, so a read-modify-write
    // inside `body` is never interleaved with another. The span is valid only
    // during `body`, and never reaches beyond the block as it really is now
    // (a block cut short elsewhere gives a shorter span); what `body` changes
    // reaches the block whatever it returns. Returns what `body` returns, or
    // the lock's failure without calling it.
    virtual Status access(const std::function<Status(std::span<std::uint8_t>)>& body) = 0;
};

// NamedEvent: an open named manual-reset event, initially not signalled when
// it is created. The caller owns the object.
class NamedEvent {
public:
    virtual ~NamedEvent() = default;

    // set: signals the event; it stays signalled until reset.
    virtual Status set() = 0;
    // reset: clears the signal.
    virtual Status reset() = 0;
    // wait: waits up to `timeoutMs` milliseconds for the signal; true when
    // signalled, false on timeout.
    virtual Outcome<bool> wait(std::uint32_t timeoutMs) = 0;
};

// SharedMemory: opens named session objects. Names are 8-bit text; without a
// "Global\" or "Local\" prefix they belong to the user's session.
class SharedMemory {
public:
    virtual ~SharedMemory() = default;

    // openBlock: opens the block `name`, creating it with `size` bytes when
    // it does not exist. E_INVALIDARG for size 0; the platform's error
    // (ERROR_ACCESS_DENIED for a block that is not the user's alone,
    // ERROR_NOT_ENOUGH_MEMORY, ...) otherwise.
    virtual Outcome<std::unique_ptr<SharedBlock>> openBlock(std::string_view name,
                                                            std::uint32_t size) = 0;
    // openEvent: opens the event `name`, creating it when it does not exist.
    // Blocks and events have names of their own: a block and an event of one
    // name are two objects. The platform's error (ERROR_ACCESS_DENIED, ...)
    // on failure.
    virtual Outcome<std::unique_ptr<NamedEvent>> openEvent(std::string_view name) = 0;
};

}  // namespace pennaform::platform
