// Random bytes are not offered yet: every call answers ERROR_NOT_SUPPORTED.
#include "platform/posix/RandomSource_posix.h"

namespace pennaform::platform {
namespace {

class PosixRandomSource : public RandomSource {
  public:
    Status fill(std::span<std::uint8_t>) override { return fail(errors::kErrorNotSupported); }
};

}  // namespace

std::unique_ptr<RandomSource> makePosixRandomSource() {
    return std::make_unique<PosixRandomSource>();
}

}  // namespace pennaform::platform
