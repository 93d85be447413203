#include "certificates/CertWrapper.h"

#include <cstdio>

#include "platform/FileTimes.h"
#include "platform/HexText.h"

namespace pennaform {

CertWrapper::CertWrapper(const platform::Platform& platform, platform::ByteView der)
    : platform_(platform) {
    loadEncoded(der);
}

bool CertWrapper::loadEncoded(platform::ByteView der) {
    reset();
    // Bytes that cannot be copied never reach the platform, so no platform
    // error is recorded for them.
    if (der.empty() || der.size() > std::size_t(INT32_MAX) ||
        !encoded_.append(der.data(), std::int32_t(der.size()))) {
        return false;
    }
    const platform::CertificateReader* certificates = platform_.certificateReader();
    if (certificates == nullptr) {
        lastError_ = platform::errors::kErrorNotSupported;
        encoded_.release();
        return false;
    }
    platform::Outcome<platform::CertificateInfo> info = certificates->parse(encoded_.bytes());
    lastError_ = info.error();
    if (!info) {
        encoded_.release();
        return false;
    }
    info_ = std::move(*info);
    return true;
}

void CertWrapper::reset() {
    encoded_.release();
    info_.reset();
    lastError_ = platform::errors::kSuccess;
}

std::string CertWrapper::base64() const {
    ByteBuffer text;
    if (!loaded() || !text.base64Encode(encoded_.data(), encoded_.length())) return {};
    return std::string(text.text());
}

std::string CertWrapper::subjectName() const {
    return loaded() ? info_->subjectName : "";
}
std::string CertWrapper::issuerName() const {
    return loaded() ? info_->issuerName : "";
}
std::string CertWrapper::subjectCN() const {
    return loaded() ? info_->subjectCommonName : "";
}
std::string CertWrapper::issuerCN() const {
    return loaded() ? info_->issuerCommonName : "";
}

std::string CertWrapper::serialHex() const {
    return loaded() ? upperHex(info_->serialNumber) : std::string();
}

std::string CertWrapper::dateOf(platform::FileTime platform::CertificateInfo::*bound,
                                DateForm form) const {
    const platform::OsFacts* os = platform_.os();
    if (!loaded() || os == nullptr) return {};
    std::optional<platform::FileTime> local =
        platform::fileTimeToLocalFileTime((*info_).*bound, os->localTimeOffsetSeconds());
    std::optional<platform::SystemTime> time =
        local ? platform::fileTimeToSystemTime(*local) : std::nullopt;
    if (!time) return {};
    char text[80];  // room for any int in every field
    if (form == DateForm::kCompact) {
        std::snprintf(text, sizeof text, "%04d%02d%02d%02d%02d%02d", time->year, time->month,
                      time->day, time->hour, time->minute, time->second);
    } else if (form == DateForm::kDate) {
        std::snprintf(text, sizeof text, "%04d/%02d/%02d", time->year, time->month, time->day);
    } else {
        std::snprintf(text, sizeof text, "%04d/%02d/%02d %02d:%02d:%02d", time->year, time->month,
                      time->day, time->hour, time->minute, time->second);
    }
    return text;
}

using platform::CertificateInfo;

std::string CertWrapper::notBeforeCompact() const {
    return dateOf(&CertificateInfo::notBefore, DateForm::kCompact);
}
std::string CertWrapper::notAfterCompact() const {
    return dateOf(&CertificateInfo::notAfter, DateForm::kCompact);
}
std::string CertWrapper::notBeforeDate() const {
    return dateOf(&CertificateInfo::notBefore, DateForm::kDate);
}
std::string CertWrapper::notAfterDate() const {
    return dateOf(&CertificateInfo::notAfter, DateForm::kDate);
}
std::string CertWrapper::notBeforeDateTime() const {
    return dateOf(&CertificateInfo::notBefore, DateForm::kDateTime);
}
std::string CertWrapper::notAfterDateTime() const {
    return dateOf(&CertificateInfo::notAfter, DateForm::kDateTime);
}

std::string CertWrapper::thumbprint() const {
    ByteBuffer text;
    if (!loaded() || info_->thumbprint.empty() ||
        !text.hexEncode(info_->thumbprint.data(), std::int32_t(info_->thumbprint.size()))) {
        return {};
    }
    return std::string(text.text());
}

std::uint8_t CertWrapper::keyUsage() const {
    return loaded() ? info_->keyUsage.value_or(0) : 0;
}

bool CertWrapper::isAuthority() const {
    if (!loaded()) return false;
    constexpr std::uint8_t kCertificateSigning = 0x04;
    constexpr std::uint8_t kCrlSigning = 0x02;
    return info_->subjectName == info_->issuerName ||
           (keyUsage() & (kCertificateSigning | kCrlSigning)) != 0;
}

std::optional<platform::FileTime> CertWrapper::notBeforeTime() const {
    if (!info_) return std::nullopt;
    return info_->notBefore;
}

std::optional<platform::FileTime> CertWrapper::notAfterTime() const {
    if (!info_) return std::nullopt;
    return info_->notAfter;
}

std::optional<int> CertWrapper::timeValidity(std::optional<platform::FileTime> at) const {
    const platform::OsFacts* os = platform_.os();
    if (!loaded() || (!at && os == nullptr)) return std::nullopt;
    return platform::timeValidity(*info_, at ? *at : os->currentTime());
}

}  // namespace pennaform
