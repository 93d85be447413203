// Fuzz target: the registry operations with arbitrary value addresses, texts,
// value types and stored bytes. Each input writes one value (through
// RegWriteHKCUStr, RegWriteHKCUInt, or straight into the hive with any type
// and bytes) and reads it back through RegReadHKCU, checking the outcome
// against what the address, type and bytes call for.
//
// The hive lives in a fresh folder under /dev/shm (or TMPDIR), replaced every
// few thousand inputs so that it stays small.
#include <fuzzer/FuzzedDataProvider.h>
#include <cstdint>
#include <string>

#include "FuzzHome.h"
#include "engine/Engine.h"
#include "platform/CodePage.h"

using namespace pennaform;
using fuzz::FuzzHome;
using fuzz::require;

namespace {

constexpr int kInputsPerHive = 5000;

// text16: UTF-16 text from the input, either one unit per byte (so
// backslashes and NULs are common) or two bytes per unit.
std::u16string text16(FuzzedDataProvider& input, std::size_t maxUnits) {
    bool wide = input.ConsumeBool();
    std::size_t units = input.ConsumeIntegralInRange<std::size_t>(0, maxUnits);
    std::u16string text;
    for (std::size_t i = 0; i < units && input.remaining_bytes() > 0; ++i) {
        char16_t unit = input.ConsumeIntegral<std::uint8_t>();
        if (wide) unit = char16_t(unit | (input.ConsumeIntegral<std::uint8_t>() << 8));
        text.push_back(unit);
    }
    return text;
}

// writable: whether the registry takes a value at this key path and name:
// every key name at most 255 units, at most 512 of them, the value name at
// most 16383 units. Lengths are those of the text after its trip through the
// code page, which keeps the number of units.
bool writable(std::u16string_view keyPath, std::u16string_view valueName) {
    if (valueName.size() > 16383) return false;
    std::size_t depth = 0;
    while (!keyPath.empty()) {
        std::size_t slash = keyPath.find(u'\\');
        std::u16string_view name = keyPath.substr(0, slash);
        if (name.size() > 255) return false;
        depth += name.empty() ? 0 : 1;
        keyPath =
            slash == std::u16string_view::npos ? std::u16string_view() : keyPath.substr(slash + 1);
    }
    return depth <= 512;
}

// shownString: what RegReadHKCU shows of a REG_SZ whose bytes are `ansi`.
std::u16string shownString(const std::string& ansi) {
    if (ansi.size() > 255) return {};
    return toWide(ansi.substr(0, ansi.find('\0')));
}

std::u16string shownValue(platform::ValueType type, const platform::Bytes& bytes) {
    if (type == platform::ValueType::kString) {
        // String bytes make a round trip through UTF-16 in the hive.
        std::string ansi = toAnsi(toWide(std::string(bytes.begin(), bytes.end())));
        return shownString(ansi);
    }
    if (type == platform::ValueType::kDword && bytes.size() <= 4) {
        std::uint32_t number = 0;
        for (std::size_t i = 0; i < bytes.size(); ++i) number |= std::uint32_t(bytes[i]) << (8 * i);
        return toWide(std::to_string(std::int32_t(number)));
    }
    return {};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // A fresh hive now and then keeps the state from piling up.
    static FuzzHome home;
    static long inputs = 0;
    if (++inputs % kInputsPerHive == 0) home.renew();
    Engine& engine = home.engine();
    FuzzedDataProvider input(data, size);

    const int operation = input.ConsumeIntegralInRange(0, 2);
    const std::u16string address = text16(input, 600);
    const std::u16string_view cAddress = beforeNul(address);
    const std::size_t split = cAddress.rfind(u'\\');

    std::int32_t code = 0;
    std::u16string expected;
    if (operation == 0) {
        std::u16string text = text16(input, 400);
        code = engine.RegWriteHKCUStr(address, text);
        expected = shownString(toAnsi(beforeNul(text)));
    } else if (operation == 1) {
        std::int32_t number = input.ConsumeIntegral<std::int32_t>();
        code = engine.RegWriteHKCUInt(address, number);
        expected = toWide(std::to_string(number));
    } else {
        auto type = platform::ValueType(input.ConsumeIntegralInRange<std::uint32_t>(0, 12));
        platform::Bytes bytes = input.ConsumeRemainingBytes<std::uint8_t>();
        if (split != std::u16string_view::npos) {
            auto key = engine.platform().registry()->createKey(toAnsi(cAddress.substr(0, split)));
            std::string valueName = toAnsi(cAddress.substr(split + 1));
            code = key && (*key)->setValue(valueName, type, bytes) ? 0 : 5906;
            if (code == 0) {
                auto stored = (*key)->queryValue(valueName);
                require(stored.ok() && stored->type == type);
                if (type != platform::ValueType::kString &&
                    type != platform::ValueType::kExpandString &&
                    type != platform::ValueType::kMultiString) {
                    require(stored->data == bytes);
                }
            }
        }
        expected = shownValue(type, bytes);
    }

    std::u16string read = engine.RegReadHKCU(address);
    if (split == std::u16string_view::npos) {
        require(operation == 2 || code == 5005);
        require(read.empty() && engine.GetErrorCode() == 5005);
        return 0;
    }
    bool accepted = writable(cAddress.substr(0, split), cAddress.substr(split + 1));
    require(code == (accepted ? 0 : 5906));
    if (accepted) {
        require(engine.GetErrorCode() == 0);
        require(read == expected);
    }
    (void)engine.RegReadHKLM(address);
    require(engine.GetCapiErrorCode() == 0);
    return 0;
}
