// The Engine's personal-store browser: a snapshot of "MY" read by position,
// and deletion of the certificate at a position.
#include <memory>

#include "certificates/CertWrapper.h"
#include "encoding/ErrorTable.h"
#include "engine/Engine.h"
#include "platform/CodePage.h"

namespace pennaform {

namespace {

// openPersonalStore: "MY" of the current user; null when it cannot be
// opened (or the platform has no stores).
std::unique_ptr<platform::CertificateStore> openPersonalStore(platform::Platform& platform) {
    if (platform.stores() == nullptr) return nullptr;
    platform::Outcome<std::unique_ptr<platform::CertificateStore>> store =
        platform.stores()->openSystemStore(platform::SystemStore::kMy);
    return store ? std::move(*store) : nullptr;
}

}  // namespace

std::int32_t Engine::GetIECertCount() {
    if (refuseUntrustedCaller()) return 0;
    personalStore_.clear();
    setErrorCode(codes::kSuccess);
    std::unique_ptr<platform::CertificateStore> store = openPersonalStore(platform());
    if (!store) return 0;
    platform::Outcome<std::vector<platform::StoredCertificate>> certificates =
        store->certificates();
    if (!certificates) return 0;
    std::vector<platform::Bytes> snapshot;
    snapshot.reserve(certificates->size());
    for (platform::StoredCertificate& certificate : *certificates) {
        snapshot.push_back(std::move(certificate.encoded));
    }
    personalStore_.replace(std::move(snapshot));
    return personalStore_.count();
}

std::u16string Engine::personalStoreField(std::int32_t position,
                                          std::string (CertWrapper::*render)() const) {
    if (refuseUntrustedCaller()) return {};
    const platform::Bytes* encoded = personalStore_.at(position);
    if (encoded == nullptr) return {};
    const CertWrapper certificate(platform(), *encoded);
    if (!certificate.loaded()) return {};
    return toWide((certificate.*render)());
}

std::u16string Engine::GetIECertSerial(std::int32_t dwIndex) {
    return personalStoreField(dwIndex, &CertWrapper::serialHex);
}
std::u16string Engine::GetIECertCommonName(std::int32_t dwIndex) {
    return personalStoreField(dwIndex, &CertWrapper::subjectCN);
}
std::u16string Engine::GetIECertSubject(std::int32_t dwIndex) {
    return personalStoreField(dwIndex, &CertWrapper::subjectName);
}
std::u16string Engine::GetIECertIssuer(std::int32_t dwIndex) {
    return personalStoreField(dwIndex, &CertWrapper::issuerName);
}
std::u16string Engine::GetIECertNotBefore(std::int32_t dwIndex) {
    return personalStoreField(dwIndex, &CertWrapper::notBeforeCompact);
}
std::u16string Engine::GetIECertNotAfter(std::int32_t dwIndex) {
    return personalStoreField(dwIndex, &CertWrapper::notAfterCompact);
}
std::u16string Engine::GetIECertFinger(std::int32_t dwIndex) {
    return personalStoreField(dwIndex, &CertWrapper::thumbprint);
}

std::int32_t Engine::DeleteIECert(std::int32_t dwIndex) {
    if (refuseUntrustedCaller()) return GetErrorCode();
    setErrorCode(codes::kCertificateNotFound);
    const platform::Bytes* encoded = personalStore_.at(dwIndex);
    if (encoded == nullptr) return GetErrorCode();
    const CertWrapper certificate(platform(), *encoded);
    if (!certificate.loaded()) return GetErrorCode();
    std::unique_ptr<platform::CertificateStore> store = openPersonalStore(platform());
    if (!store) return GetErrorCode();
    platform::Outcome<std::vector<platform::StoredCertificate>> certificates =
        store->certificates();
    if (!certificates) return GetErrorCode();
    for (const platform::StoredCertificate& candidate : *certificates) {
        if (candidate.encoded != *encoded) continue;
        if (store->remove(candidate.id)) {
            setErrorCode(codes::kSuccess);
            personalStore_.clear();
        }
        break;
    }
    return GetErrorCode();
}

}  // namespace pennaform
