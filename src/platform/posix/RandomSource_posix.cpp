// Random bytes from the kernel's generator (getrandom), which blocks only
// until the generator is first seeded after boot.
#include "platform/posix/RandomSource_posix.h"

#include <sys/random.h>

#include <cerrno>

namespace pennaform::platform {
namespace {

class PosixRandomSource : public RandomSource {
public:
    Status fill(std::span<std::uint8_t> out) override {
        std::size_t filled = 0;
        while (filled < out.size()) {
            // A call may return fewer bytes than asked, or be interrupted.
            const ssize_t got = getrandom(out.data() + filled, out.size() - filled, 0);
            if (got < 0) {
                if (errno == EINTR) continue;
                return fail(errors::kNteFail);
            }
            filled += std::size_t(got);
        }
        return Status::success();
    }
};

}  // namespace

std::unique_ptr<RandomSource> makePosixRandomSource() {
    return std::make_unique<PosixRandomSource>();
}

}  // namespace pennaform::platform
