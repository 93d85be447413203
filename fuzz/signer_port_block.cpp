// Fuzz target: the signer port's block walker and primitives over arbitrary
// 20480-byte blocks. The input's head is a sequence of operations (add,
// update, remove, get, with keys and values of its choosing); the rest is the
// block as another process may have left it, zero-padded to 20480 bytes.
// Besides the sanitizers' watch on every access, each step checks what it
// must leave: a walk that stays inside the block, a change that leaves a
// block cut back to whole entries with a zero tail, and a value that reads
// back as written.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "signing/SignerPortBlock.h"

using namespace pennaform;
using namespace pennaform::signing;

namespace {

constexpr std::size_t kBlockSize = 20480;
constexpr int kMaxOperations = 24;

void require(bool condition) {
    if (!condition) std::abort();
}

const std::u16string kKeys[] = {u"signerMedia",           u"signerCertBytes",
                                u"signerCertHash",        u"signerCertPasswd",
                                u"signerCertFilePath",    u"signerCertFileName",
                                std::u16string(39, u'k'), std::u16string(40, u'k')};

std::u16string keyOf(FuzzedDataProvider& input) {
    if (input.ConsumeBool()) return kKeys[input.ConsumeIntegralInRange<std::size_t>(0, 7)];
    const std::size_t length = input.ConsumeIntegralInRange<std::size_t>(0, 45);
    std::u16string key;
    for (std::size_t i = 0; i < length; ++i)
        key += char16_t(input.ConsumeIntegral<std::uint16_t>());
    return key;
}

// checkWalk: every entry inside the block, in order, ending where the walk
// says; after a change, nothing damaged and only zeros past the entries.
void checkWalk(const std::vector<std::uint8_t>& block, bool afterChange) {
    const BlockWalk walk = walkEntries(block);
    std::size_t expected = portLayout::kHeaderSize;
    for (const PortEntry& entry : walk.entries) {
        require(entry.offset == expected && entry.end() <= block.size() && entry.valueLength > 0);
        expected = entry.end();
    }
    require(walk.end == expected && walk.end <= block.size());
    if (afterChange) {
        require(!walk.damaged);
        require(std::all_of(block.begin() + std::ptrdiff_t(walk.end), block.end(),
                            [](std::uint8_t b) { return b == 0; }));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    struct Operation {
        int kind;
        std::u16string key;
        std::vector<std::uint8_t> value;
    };
    std::vector<Operation> operations(input.ConsumeIntegralInRange<int>(0, kMaxOperations));
    for (Operation& operation : operations) {
        operation.kind = input.ConsumeIntegralInRange<int>(0, 3);
        operation.key = keyOf(input);
        operation.value = input.ConsumeBytes<std::uint8_t>(
            input.ConsumeIntegralInRange<std::size_t>(0, input.ConsumeBool() ? 64 : kBlockSize));
    }
    std::vector<std::uint8_t> block = input.ConsumeRemainingBytes<std::uint8_t>();
    block.resize(kBlockSize);
    checkWalk(block, false);

    for (const Operation& operation : operations) {
        const bool walked =
            !operation.value.empty() && operation.key.size() < portLayout::kKeyUnits;
        std::vector<std::uint8_t> read(operation.value.size());
        switch (operation.kind) {
            case 0:
                if (portAdd(block, operation.key, operation.value)) {
                    require(*portGet(block, operation.key, std::span(read)) == read.size());
                    require(read == operation.value);
                }
                checkWalk(block, walked);
                break;
            case 1: {
                const auto stored = portGet(block, operation.key, std::nullopt);
                if (portUpdate(block, operation.key, operation.value)) {
                    std::vector<std::uint8_t> whole(*stored);
                    require(*portGet(block, operation.key, std::span(whole)) == *stored);
                    require(
                        std::equal(operation.value.begin(), operation.value.end(), whole.begin()));
                    require(std::all_of(whole.begin() + std::ptrdiff_t(operation.value.size()),
                                        whole.end(), [](std::uint8_t b) { return b == 0; }));
                }
                checkWalk(block, !operation.value.empty());
                break;
            }
            case 2: {
                // A damaged block may hold a key twice: the count tells.
                const std::size_t before = walkEntries(block).entries.size();
                if (portRemove(block, operation.key)) {
                    require(walkEntries(block).entries.size() == before - 1);
                }
                checkWalk(block, true);
                break;
            }
            default: {
                const std::vector<std::uint8_t> before = block;
                (void)portGet(block, operation.key, std::span(read));
                require(block == before);
                break;
            }
        }
    }
    return 0;
}
