// CertWrapper: one X.509 certificate and the text renderings of its fields
// that every part of the component shows and compares (names, common names,
// serial, dates, thumbprint, key usage), so that one certificate always
// reads the same way wherever it appears.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "encoding/ByteBuffer.h"
#include "platform/Platform.h"

namespace pennaform {

// CertWrapper is a short-lived local object: made on a platform, loaded with
// a certificate's DER, asked for fields, destroyed. It reads certificates
// through the platform's Certificates service and local time through its
// OsFacts; the platform must outlive the wrapper. Texts are 8-bit in the
// process code page. Every text getter answers "" while nothing is loaded.
class CertWrapper {
public:
    explicit CertWrapper(const platform::Platform& platform) : platform_(platform) {}
    // CertWrapper: made and loaded with `der` at once (see loadEncoded).
    CertWrapper(const platform::Platform& platform, platform::ByteView der);
    CertWrapper(const CertWrapper&) = delete;
    CertWrapper& operator=(const CertWrapper&) = delete;

    // loadEncoded: forgets what was loaded, copies `der` and reads it as a
    // certificate. False when `der` is empty (lastError() stays 0) or the
    // platform reads no certificate from it (lastError() tells why).
    bool loadEncoded(platform::ByteView der);
    // reset: forgets the certificate; lastError() becomes 0.
    void reset();

    bool loaded() const { return info_.has_value(); }
    // lastError: the platform error of the last load, 0 after a success.
    platform::PlatformError lastError() const { return lastError_; }
    // encoded: the copy of the certificate's DER; empty when not loaded.
    const ByteBuffer& encoded() const { return encoded_; }

    // base64: the DER as one line of Base64 without armour.
    std::string base64() const;
    // subjectName, issuerName: the name as CertNameToStrA writes it in the
    // X.500 form without quoting ("C=TW, O=Example Bank, CN=Wang"). The
    // whole name, however long.
    std::string subjectName() const;
    std::string issuerName() const;
    // subjectCN, issuerCN: the common name as CertGetNameStringA gives it,
    // "" when there is none. The whole value, however long.
    std::string subjectCN() const;
    std::string issuerCN() const;
    // serialHex: the serial number's bytes as encoded, most significant
    // first, two upper-case hex digits each (leading zero bytes kept, no sign
    // handling), however many bytes there are.
    std::string serialHex() const;
    // notBefore..., notAfter...: the validity bound in local time, with the
    // offset from UTC in force now applied whatever the date (as
    // FileTimeToLocalFileTime does): "%04d%02d%02d%02d%02d%02d" (Compact),
    // "%04d/%02d/%02d" (Date) or "%04d/%02d/%02d %02d:%02d:%02d" (DateTime);
    // "" when the time cannot be converted.
    std::string notBeforeCompact() const;
    std::string notAfterCompact() const;
    std::string notBeforeDate() const;
    std::string notAfterDate() const;
    std::string notBeforeDateTime() const;
    std::string notAfterDateTime() const;
    // notBeforeTime, notAfterTime: the validity bounds as instants, for
    // comparing them (the texts above do not sort past the year 9999);
    // nullopt while nothing is loaded.
    std::optional<platform::FileTime> notBeforeTime() const;
    std::optional<platform::FileTime> notAfterTime() const;
    // thumbprint: the SHA-1 hash of the DER, 40 upper-case hex digits.
    std::string thumbprint() const;
    // keyUsage: the first byte of the key-usage extension; 0 without one
    // (and while nothing is loaded).
    std::uint8_t keyUsage() const;
    // isAuthority: true when the subject name text equals the issuer name
    // text (self-issued), or when the key usage allows certificate signing
    // (0x04) or CRL signing (0x02); false while nothing is loaded.
    bool isAuthority() const;
    // timeValidity: where `at` (the current time when nullopt) lies against
    // the validity period, as CertVerifyTimeValidity answers: -1 before it,
    // +1 after it, 0 within (bounds inclusive); nullopt while nothing is
    // loaded or when the platform has no clock to ask.
    std::optional<int> timeValidity(std::optional<platform::FileTime> at = std::nullopt) const;

private:
    enum class DateForm { kCompact, kDate, kDateTime };
    std::string dateOf(platform::FileTime platform::CertificateInfo::*bound, DateForm form) const;

    const platform::Platform& platform_;
    ByteBuffer encoded_;
    std::optional<platform::CertificateInfo> info_;
    platform::PlatformError lastError_ = platform::errors::kSuccess;
};

}  // namespace pennaform
