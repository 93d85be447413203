// PersonalStoreList: the snapshot of the personal store ("MY") that the
// indexed getters read: copies of each certificate's DER in the store's
// order, taken all at once so that positions stay put while a caller walks
// them, whatever happens to the store meanwhile.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "platform/PlatformTypes.h"

namespace pennaform {

class PersonalStoreList {
public:
    // replace: the new snapshot, in the store's order.
    void replace(std::vector<platform::Bytes> certificates) {
        certificates_ = std::move(certificates);
    }
    void clear() { certificates_.clear(); }
    std::int32_t count() const { return static_cast<std::int32_t>(certificates_.size()); }

    // at: the certificate at the 1-based `position`; null outside 1..count.
    const platform::Bytes* at(std::int32_t position) const {
        if (position < 1 || position > count()) return nullptr;
        return &certificates_[static_cast<std::size_t>(position - 1)];
    }

private:
    std::vector<platform::Bytes> certificates_;
};

}  // namespace pennaform
