// The registry operations: one named value under the current user (read and
// written) or the machine (read only), addressed as key path, backslash and
// value name.
#include <optional>
#include <string>

#include "encoding/ErrorTable.h"
#include "engine/Engine.h"
#include "platform/CodePage.h"

namespace pennaform {
namespace {

// The largest REG_SZ value a read shows; a longer one reads as empty.
constexpr std::size_t kLongestStringShown = 255;

struct ValueAddress {
    std::string keyPath;
    std::string valueName;
};

// checkedAddress: the checks every registry operation makes, in order: an
// address that is empty or has no backslash (5005), then the protected-mode
// gate (1500). The address is split at its last backslash before it is
// converted to the code page, where the second byte of a Big5 character may
// be a backslash too.
std::optional<ValueAddress> checkedAddress(Engine& engine, std::u16string_view strName) {
    std::u16string_view address = beforeNul(strName);
    std::size_t split = address.rfind(u'\\');
    if (split == std::u16string_view::npos) {
        engine.setErrorCode(codes::kBadArgument);
        return std::nullopt;
    }
    if (engine.refuseUntrustedCaller()) return std::nullopt;
    return ValueAddress{toAnsi(address.substr(0, split)), toAnsi(address.substr(split + 1))};
}

// valueText: a value as the read operations show it: a REG_SZ that fits the
// 255-byte buffer up to its first NUL, a REG_DWORD in signed decimal,
// anything else as empty.
std::string valueText(const platform::RegistryValue& value) {
    const platform::Bytes& data = value.data;
    switch (value.type) {
        case platform::ValueType::kString: {
            if (data.size() > kLongestStringShown) return {};
            std::string text(data.begin(), data.end());
            return text.substr(0, text.find('\0'));
        }
        case platform::ValueType::kDword: {
            // A DWORD is read into a 4-byte buffer: more does not fit, less
            // leaves the upper bytes zero.
            if (data.size() > 4) return {};
            std::uint32_t number = 0;
            for (std::size_t i = 0; i < data.size(); ++i)
                number |= std::uint32_t(data[i]) << (8 * i);
            return std::to_string(static_cast<std::int32_t>(number));
        }
        default:
            return {};
    }
}

std::u16string readValue(Engine& engine, platform::Hive hive, std::u16string_view strName) {
    engine.setErrorCode(codes::kSuccess);
    std::optional<ValueAddress> address = checkedAddress(engine, strName);
    if (!address) return {};
    platform::Registry* registry = engine.platform().registry();
    auto key = registry != nullptr ? registry->openKey(hive, address->keyPath)
                                   : platform::fail(platform::errors::kErrorNotSupported);
    if (!key) {
        engine.setErrorCode(codes::kInsufficientRights);
        return {};
    }
    // A value that cannot be read is shown as empty, with code 0.
    auto value = (*key)->queryValue(address->valueName);
    if (!value) return {};
    return toWide(valueText(*value));
}

std::int32_t writeValue(Engine& engine, std::u16string_view strName, platform::ValueType type,
                        platform::ByteView data) {
    engine.setErrorCode(codes::kSuccess);
    std::optional<ValueAddress> address = checkedAddress(engine, strName);
    if (!address) return engine.GetErrorCode();
    platform::Registry* registry = engine.platform().registry();
    auto key = registry != nullptr ? registry->createKey(address->keyPath)
                                   : platform::fail(platform::errors::kErrorNotSupported);
    if (!key || !(*key)->setValue(address->valueName, type, data)) {
        engine.setErrorCode(codes::kInsufficientRights);
    }
    return engine.GetErrorCode();
}

}  // namespace

std::u16string Engine::RegReadHKCU(std::u16string_view strName) {
    return readValue(*this, platform::Hive::kCurrentUser, strName);
}

std::u16string Engine::RegReadHKLM(std::u16string_view strName) {
    return readValue(*this, platform::Hive::kLocalMachine, strName);
}

std::int32_t Engine::RegWriteHKCUInt(std::u16string_view strName, std::int32_t dw) {
    auto bits = static_cast<std::uint32_t>(dw);
    const std::uint8_t littleEndian[4] = {std::uint8_t(bits), std::uint8_t(bits >> 8),
                                          std::uint8_t(bits >> 16), std::uint8_t(bits >> 24)};
    return writeValue(*this, strName, platform::ValueType::kDword, littleEndian);
}

std::int32_t Engine::RegWriteHKCUStr(std::u16string_view strName, std::u16string_view str) {
    // The text's bytes without a terminator; an empty text is an empty value.
    std::string text = toAnsi(beforeNul(str));
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.data());
    return writeValue(*this, strName, platform::ValueType::kString, {bytes, text.size()});
}

std::u16string Engine::GetServerAuth() {
    errorCode_ = codes::kSuccess;
    capiError_ = 0;
    return {};
}

std::int32_t Engine::VerifyServerResponse(std::u16string_view) {
    errorCode_ = codes::kSuccess;
    capiError_ = 0;
    return errorCode_;
}

}  // namespace pennaform
