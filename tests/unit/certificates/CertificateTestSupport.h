// Helpers of the certificate suites: a platform with the POSIX backend's
// certificate reader and clock, the openssl command, the time zone.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/Platform.h"
#include "platform/posix/CertificateReader_openssl.h"
#include "platform/posix/OsFacts_posix.h"
#include "support/Process.h"

namespace pennaform::test {

// certificatePlatform: a platform offering just the certificate reader and
// the operating-system facts (for the clock and the local-time offset).
inline const platform::Platform& certificatePlatform() {
    static const platform::Platform* shared = [] {
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

// ScopedTimeZone: sets TZ for the life of the object; the platform's clock
// calls tzset itself, so each rendering sees the zone in force.
class ScopedTimeZone {
public:
    explicit ScopedTimeZone(const char* zone) {
        if (const char* old = std::getenv("TZ")) previous_ = old;
        setenv("TZ", zone, 1);
        tzset();
    }
    ScopedTimeZone(const ScopedTimeZone&) = delete;
    ScopedTimeZone& operator=(const ScopedTimeZone&) = delete;
    ~ScopedTimeZone() {
        if (previous_) {
            setenv("TZ", previous_->c_str(), 1);
        } else {
            unsetenv("TZ");
        }
        tzset();
    }

private:
    std::optional<std::string> previous_;
};

// openssl: the openssl command's standard output with `words`, its last line
// feed removed; "" (and a test failure) when it fails.
inline std::string openssl(const std::vector<std::string>& words) {
    std::vector<std::string> argv{"openssl"};
    argv.insert(argv.end(), words.begin(), words.end());
    ProcessResult result = runProcess(argv);
    if (result.exitStatus != 0) return "";
    while (!result.out.empty() && result.out.back() == '\n') result.out.pop_back();
    return result.out;
}

// afterPrefix: `text` without `prefix` ("" when it does not start so).
inline std::string afterPrefix(const std::string& text, const std::string& prefix) {
    return text.rfind(prefix, 0) == 0 ? text.substr(prefix.size()) : "";
}

}  // namespace pennaform::test
