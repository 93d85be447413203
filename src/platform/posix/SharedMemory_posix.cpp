// Named blocks and events are not offered yet: every open answers
// ERROR_NOT_SUPPORTED, which callers treat as a port that cannot be opened.
#include "platform/posix/SharedMemory_posix.h"

namespace pennaform::platform {
namespace {

class PosixSharedMemory : public SharedMemory {
  public:
    Outcome<std::unique_ptr<SharedBlock>> openBlock(std::string_view, std::uint32_t) override {
        return fail(errors::kErrorNotSupported);
    }
    Outcome<std::unique_ptr<NamedEvent>> openEvent(std::string_view) override {
        return fail(errors::kErrorNotSupported);
    }
};

}  // namespace

std::unique_ptr<SharedMemory> makePosixSharedMemory() {
    return std::make_unique<PosixSharedMemory>();
}

}  // namespace pennaform::platform
