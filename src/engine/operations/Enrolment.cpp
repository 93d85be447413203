// Enrolment: key pairs with their certificate requests, and the
// installation of the certificates an authority issued for them.
#include "encoding/ErrorTable.h"
#include "engine/Engine.h"
#include "platform/CodePage.h"

namespace pennaform {
namespace {

constexpr std::string_view kProductName = "Pennaform";

// startEnrolment: the common first steps of the two request operations;
// false when the operation ends there (its code set).
bool startEnrolment(Engine& engine, std::u16string_view commonName, std::int32_t keyBits,
                    std::int32_t genKeyFlags) {
    engine.setErrorCode(codes::kSuccess);
    engine.setCapiError(0);
    engine.requestTexts().clear();
    if (toAnsi(beforeNul(commonName)).empty()) {
        engine.setErrorCode(codes::kBadArgument);
        return false;
    }
    if (engine.refuseUntrustedCaller()) return false;
    Enroller& enroller = engine.enroller();
    enroller.setRegistryBranch(kProductName);
    if (enroller.setKeyBits(keyBits) != codes::kSuccess) {
        engine.setErrorCode(enroller.errorCode());
        return false;
    }
    (void)enroller.setGenKeyFlags(genKeyFlags);
    (void)enroller.setKeySpec(1);
    return true;
}

}  // namespace

std::u16string Engine::CreatePKCS10(std::u16string_view commonName, std::int32_t keyBits,
                                    std::int32_t genKeyFlags) {
    if (!startEnrolment(*this, commonName, keyBits, genKeyFlags)) return {};
    requestTexts_.forSigning = enroller_.createRequest(*platform_, beforeNul(commonName));
    errorCode_ = enroller_.errorCode();
    capiError_ = enroller_.platformError();
    return toWideText(requestTexts_.forSigning);
}

std::int32_t Engine::CreatePKCS10Pair(std::u16string_view commonName, std::int32_t keyBits,
                                      std::int32_t genKeyFlags) {
    if (!startEnrolment(*this, commonName, keyBits, genKeyFlags)) return errorCode_;
    enroller_.createRequestPair(*platform_, beforeNul(commonName));
    requestTexts_ = enroller_.requests();
    errorCode_ = enroller_.errorCode();
    capiError_ = enroller_.platformError();
    return errorCode_;
}

std::u16string Engine::GetCsrForSign() {
    return toWideText(requestTexts_.forSigning);
}

std::u16string Engine::GetCsrForEncrypt() {
    return toWideText(requestTexts_.forEncryption);
}

std::int32_t Engine::AcceptPKCS7(std::u16string_view strPkcs7) {
    errorCode_ = codes::kSuccess;
    capiError_ = 0;
    const std::string text = toAnsi(beforeNul(strPkcs7));
    if (text.empty()) {
        errorCode_ = codes::kBadArgument;
        return errorCode_;
    }
    if (refuseUntrustedCaller()) return errorCode_;
    enroller_.setRegistryBranch(kProductName);
    enroller_.acceptPkcs7(*platform_, text);
    errorCode_ = enroller_.errorCode();
    capiError_ = enroller_.platformError();
    return errorCode_;
}

}  // namespace pennaform
