// The Engine's signer selection and the getters of the current signer's
// certificate.
#include "signing/SignerSelection.h"
#include "certificates/CertWrapper.h"
#include "certificates/CertificateSearch.h"
#include "encoding/ErrorTable.h"
#include "engine/Engine.h"
#include "platform/CodePage.h"
#include "platform/FileTimes.h"
#include "platform/SecretText.h"

namespace pennaform {

namespace {

using signing::SelectionCall;

// SelectionArguments: the arguments the three operations share, as they
// arrive.
struct SelectionArguments {
    SelectionCall call;
    std::u16string_view filter;
    std::u16string_view pfxFolder;
    std::u16string_view pfxName;
    std::u16string_view password;
    std::u16string_view compareDate;
    std::int32_t port;
    std::int32_t flags;
    std::int32_t keyUsage;
};

int currentMilliseconds(platform::Platform& platform) {
    if (platform.os() == nullptr) return 0;
    const std::uint64_t ticks = platform.os()->currentTime().ticks;
    return int(ticks % platform::fileTimes::kTicksPerSecond /
               platform::fileTimes::kTicksPerMillisecond);
}

std::int32_t selectWith(Engine& engine, const SelectionArguments& arguments) {
    engine.setErrorCode(codes::kSuccess);
    engine.setCapiError(0);
    engine.signer().clearCurrentSigner();
    if (engine.refuseUntrustedCaller()) return engine.GetErrorCode();

    const signing::CompareDate compare = signing::parseCompareDate(
        toAnsi(arguments.compareDate), currentMilliseconds(engine.platform()));
    if (compare.code != codes::kSuccess) {
        engine.setErrorCode(compare.code);
        return compare.code;
    }
    const std::string filter = toAnsi(arguments.filter);
    const std::string folder = toAnsi(arguments.pfxFolder);
    const std::string name = toAnsi(arguments.pfxName);
    const platform::SecretText password(toAnsi(arguments.password));
    signing::SelectionRequest request{
        .call = arguments.call,
        .filter = filter,
        .pfxFolder = folder,
        .pfxName = name,
        .password = password.view(),
        .compareTime = compare.time,
        .flags = arguments.flags | (compare.time ? signing::searchFlags::kCheckValidity : 0),
        .keyUsage = arguments.keyUsage,
        .port = arguments.port,
        .minPasswordLength = engine.minPasswordLength(),
        .maxPasswordLength = engine.maxPasswordLength(),
    };
    const signing::SelectionResult result =
        signing::selectSigner(engine.platform(), engine.signer(), request);
    engine.setErrorCode(result.code);
    engine.setCapiError(result.capiError);
    return result.code;
}

// signerField: one rendering of the current signer's certificate; the error
// code cleared first.
std::u16string signerField(Engine& engine, std::string (CertWrapper::*render)() const) {
    engine.setErrorCode(codes::kSuccess);
    const CertWrapper certificate(engine.platform(), engine.signer().signerCertBytes);
    return certificate.loaded() ? toWide((certificate.*render)()) : std::u16string();
}

}  // namespace

std::int32_t Engine::SelectSigner(std::u16string_view certFilter, std::int32_t dwFlags,
                                  std::int32_t dwKeyUsage) {
    return selectWith(
        *this, {SelectionCall::kSelectSigner, certFilter, {}, {}, {}, {}, 0, dwFlags, dwKeyUsage});
}

std::int32_t Engine::SelectSignerEx(std::u16string_view certFilter, std::u16string_view strPfxPath,
                                    std::u16string_view strPfxName, std::u16string_view strPasswd,
                                    std::u16string_view strCompareDate, std::int32_t dwFlags,
                                    std::int32_t dwKeyUsage) {
    return selectWith(*this, {SelectionCall::kSelectSignerEx, certFilter, strPfxPath, strPfxName,
                              strPasswd, strCompareDate, 0, dwFlags, dwKeyUsage});
}

std::int32_t Engine::SelectSignerEx2(std::u16string_view certFilter, std::u16string_view strPfxPath,
                                     std::u16string_view strPfxName, std::int32_t dwPort,
                                     std::u16string_view strCompareDate, std::int32_t dwFlags,
                                     std::int32_t dwKeyUsage) {
    return selectWith(*this, {SelectionCall::kSelectSignerEx2,
                              certFilter,
                              strPfxPath,
                              strPfxName,
                              {},
                              strCompareDate,
                              dwPort,
                              dwFlags,
                              dwKeyUsage});
}

std::u16string Engine::GetSignerPfxFilePath() {
    return toWideText(signer_.signerCertFilePath);
}

std::u16string Engine::GetSignerPfxFileName() {
    return toWideText(signer_.signerCertFileName);
}

std::u16string Engine::GetCertB64() {
    const CertWrapper certificate(platform(), signer_.signerCertBytes);
    return certificate.loaded() ? toWide(certificate.base64()) : std::u16string();
}

std::u16string Engine::GetCertSubject() {
    return signerField(*this, &CertWrapper::subjectName);
}
std::u16string Engine::GetCertSubjectCN() {
    return signerField(*this, &CertWrapper::subjectCN);
}
std::u16string Engine::GetCertIssuer() {
    return signerField(*this, &CertWrapper::issuerName);
}
std::u16string Engine::GetCertSerial() {
    return signerField(*this, &CertWrapper::serialHex);
}
std::u16string Engine::GetCertNotBefore() {
    return signerField(*this, &CertWrapper::notBeforeCompact);
}
std::u16string Engine::GetCertNotAfter() {
    return signerField(*this, &CertWrapper::notAfterCompact);
}
std::u16string Engine::GetCertFinger() {
    return signerField(*this, &CertWrapper::thumbprint);
}

std::int32_t Engine::GetCertKeyUsage() {
    setErrorCode(codes::kSuccess);
    const CertWrapper certificate(platform(), signer_.signerCertBytes);
    return certificate.loaded() ? certificate.keyUsage() : 0;
}

}  // namespace pennaform
