// Fuzz target: arbitrary bytes loaded into a CertWrapper and every rendering
// asked for, and the same bytes given to the name renderer as a name. Checks
// what holds for any certificate that loads: a 40-digit thumbprint, two
// digits per serial byte, compact dates of 14 digits (15 past the year 9999)
// or none, the date forms agreeing with one another, and the platform's error
// for one that does not load.
#include <stdlib.h>

#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <string>

#include "certificates/CertWrapper.h"
#include "platform/posix/CertificateReader_openssl.h"
#include "platform/posix/NameText.h"
#include "platform/posix/OsFacts_posix.h"

using namespace pennaform;

namespace {

void require(bool condition) {
    if (!condition) std::abort();
}

const platform::Platform& fuzzPlatform() {
    static const platform::Platform* shared = [] {
        setenv("TZ", "Asia/Taipei", 1);
        platform::PlatformServices services;
        platform::Outcome<std::shared_ptr<platform::OpenSslLibrary>> library =
            platform::OpenSslLibrary::load();
        services.certificateReader =
            platform::makeOpenSslCertificateReader(library ? *library : nullptr);
        services.os = platform::makePosixOsFacts();
        return new platform::Platform(std::move(services));
    }();
    return *shared;
}

bool isUpperHex(const std::string& text) {
    return text.find_first_not_of("0123456789ABCDEF") == std::string::npos;
}

// checkDates: the three forms of one bound say the same instant. The year
// has four digits, or five when local time passes the end of 9999.
void checkDates(const std::string& compact, const std::string& date, const std::string& dateTime) {
    if (compact.empty()) {
        require(date.empty() && dateTime.empty());
        return;
    }
    require(compact.size() == 14 || compact.size() == 15);
    const std::size_t y = compact.size() - 10;
    require(date ==
            compact.substr(0, y) + "/" + compact.substr(y, 2) + "/" + compact.substr(y + 2, 2));
    require(dateTime == date + " " + compact.substr(y + 4, 2) + ":" + compact.substr(y + 6, 2) +
                            ":" + compact.substr(y + 8, 2));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const platform::ByteView bytes(data, size);
    (void)platform::x500NameText(bytes);
    (void)platform::attributeText(bytes, platform::nameOids::kCommonName);

    CertWrapper certificate(fuzzPlatform());
    if (!certificate.loadEncoded(bytes)) {
        require(!certificate.loaded() && (size == 0) == (certificate.lastError() == 0));
        require(certificate.subjectName().empty() && certificate.thumbprint().empty());
        return 0;
    }
    require(certificate.lastError() == 0);
    require(certificate.encoded().length() == std::int32_t(size));
    const std::string thumbprint = certificate.thumbprint();
    require(thumbprint.size() == 40 && isUpperHex(thumbprint));
    const std::string serial = certificate.serialHex();
    require(serial.size() % 2 == 0 && isUpperHex(serial));
    require(!certificate.base64().empty());
    (void)certificate.subjectName();
    (void)certificate.issuerName();
    (void)certificate.subjectCN();
    (void)certificate.issuerCN();
    checkDates(certificate.notBeforeCompact(), certificate.notBeforeDate(),
               certificate.notBeforeDateTime());
    checkDates(certificate.notAfterCompact(), certificate.notAfterDate(),
               certificate.notAfterDateTime());
    const bool authority = certificate.isAuthority();
    require(authority == (certificate.subjectName() == certificate.issuerName() ||
                          (certificate.keyUsage() & 0x06) != 0));
    const std::optional<int> atFirstTick = certificate.timeValidity(platform::FileTime{0});
    const std::optional<int> atLastTick = certificate.timeValidity(platform::FileTime{UINT64_MAX});
    require(atFirstTick && *atFirstTick <= 0 && atLastTick && *atLastTick >= 0);
    return 0;
}
