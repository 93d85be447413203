// Enroller: the Engine's provider and enrolment record: which provider makes
// and keeps the keys, with which settings, and whether SHA-256 signatures are
// available. Its operations report through their own error fields, which the
// Engine operation that called them copies into its own.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "enrol/RequestTexts.h"
#include "platform/KeyProviders.h"
#include "platform/OsFacts.h"
#include "platform/Platform.h"
#include "platform/PlatformTypes.h"
#include "platform/ProviderNames.h"

namespace pennaform {

// The providers the component knows by name.
namespace providerNames = platform::providerNames;

class Enroller {
public:
    // Enroller: error fields 0, key spec AT_KEYEXCHANGE, key-generation flags
    // 1 (exportable), not SHA-2 capable, no provider chosen. The installed
    // list keeps the platform's providers of type 1 or 24, in the platform's
    // order, the first of equal names (compared byte for byte) only.
    explicit Enroller(std::span<const platform::ProviderInfo> platformProviders);

    std::int32_t errorCode() const { return errorCode_; }
    std::uint32_t platformError() const { return platformError_; }
    std::uint32_t keyBits() const { return keyBits_; }
    const std::string& providerName() const { return providerName_; }
    std::uint32_t providerType() const { return providerType_; }
    platform::KeySpec keySpec() const { return keySpec_; }
    std::uint32_t genKeyFlags() const { return genKeyFlags_; }
    const std::vector<std::string>& installedProviders() const { return installed_; }
    bool sha2Capable() const { return sha2Capable_; }
    // sha2ProviderName: the AES provider the OS defaults chose; empty until then.
    const std::string& sha2ProviderName() const { return sha2ProviderName_; }
    // registryBranch: the per-user key that holds the pending-request records.
    const std::string& registryBranch() const { return registryBranch_; }

    // setRegistryBranch: the branch becomes "Software\QUVO\" + name.
    void setRegistryBranch(std::string_view name);
    // setKeyBits: 1024, 2048 and 4096 are kept and give 0; any other length
    // gives 5301 and keeps the previous one.
    std::int32_t setKeyBits(std::int32_t bits);
    // setKeySpec: 2 chooses AT_SIGNATURE, anything else AT_KEYEXCHANGE; gives 0.
    std::int32_t setKeySpec(std::int32_t spec);
    // setGenKeyFlags: 0, 2 and 3 are kept as they are, anything else becomes
    // 1 (exportable only); gives 0.
    std::int32_t setGenKeyFlags(std::int32_t flags);
    // setProviderName: chooses an installed provider by its exact name (case
    // matters): 0, with type 24 for the two AES providers and 1 for the
    // others. An empty name gives 5005, a name not installed 5046; both leave
    // the provider as it was. The SHA-2 fields are not touched.
    std::int32_t setProviderName(std::string_view name);
    // applyOsDefaults: the provider defaults of a Windows version: SHA-2
    // capability, and for XP and later the AES provider (the Prototype one
    // before XP service pack 3). Versions before XP only lose the SHA-2 flag.
    void applyOsDefaults(const platform::OsVersion& version);

    // --- Enrolment (Enrolment.cpp, Acceptance.cpp) ---

    // requests: the request texts of the last createRequest (for signing)
    // or createRequestPair (both).
    const RequestTexts& requests() const { return requests_; }

    // createRequest: a new key pair of the chosen provider, length, flags
    // and key spec in a new container, screened (a weak key is deleted and
    // made again, 20 times at most), recorded as a pending request under
    // the registry branch, and its PKCS#10 request as one line of Base64,
    // also kept as the request for signing. Empty on failure, with the code:
    // 5906 the registry cannot be written, 5005 empty name, 5046 no
    // provider, 5203/5047 no container, 1501 only weak keys, 5302 the
    // request could not be made, 5002, 5 the record could not be made.
    std::string createRequest(platform::Platform& platform, std::u16string_view commonName);
    // createRequestPair: as createRequest for a signing key (AT_SIGNATURE)
    // and then an encryption key (AT_KEYEXCHANGE), each in its own
    // container with its own record; the error code. Any failure empties
    // both texts (what the first key left stays). The key spec is
    // AT_KEYEXCHANGE afterwards.
    std::int32_t createRequestPair(platform::Platform& platform, std::u16string_view commonName);

    // acceptPkcs7: installs an authority's answer (Base64 of a PKCS#7
    // carrying certificates, or of one certificate): CA certificates to
    // "ROOT" or "CA", then the last other certificate to "MY", bound to the
    // container of its pending request. The error code: 5906, 5005, 5008,
    // 5040, 5060 no certificate but CA ones, 5010 no record, 5201, 5203,
    // 5206, 5211.
    std::int32_t acceptPkcs7(platform::Platform& platform, std::string_view text);
    // installCaCertificate: a self-signed certificate goes to "ROOT", one
    // whose key usage allows certificate signing to "CA" (replacing an equal
    // one, keeping its properties); whether it was taken as a CA
    // certificate. A store that does not open is passed over.
    bool installCaCertificate(platform::Platform& platform, platform::ByteView der);
    // installIssuedCertificate: binds the certificate to the container of
    // the pending request with its public key and adds it to "MY" (always,
    // a second copy included) with its common name as friendly name; success
    // or the error code set.
    bool installIssuedCertificate(platform::Platform& platform, platform::ByteView der);

private:
    struct NewKey;

    void clearError();
    void chooseAesDefault(std::string_view name);
    void applyXpDefaults(const platform::OsVersion& version);
    void setFailure(std::int32_t code, platform::PlatformError error);
    bool probeRegistry(platform::Platform& platform);
    bool mayRequest(platform::Platform& platform, std::u16string_view commonName);
    void keepTogether(platform::Platform& platform, const std::function<void()>& steps);
    std::uint32_t generationFlags() const;
    std::optional<NewKey> generateScreenedKey(platform::Platform& platform,
                                              const std::string& containerName);
    std::string requestForNewKey(platform::Platform& platform, std::u16string_view commonName,
                                 const std::string& dateTime);

    std::int32_t errorCode_ = 0;
    std::uint32_t platformError_ = 0;
    std::uint32_t keyBits_ = 2048;
    std::string providerName_;
    std::uint32_t providerType_ = platform::providerTypes::kRsaFull;
    platform::KeySpec keySpec_ = platform::KeySpec::kKeyExchange;
    std::uint32_t genKeyFlags_ = 1;
    std::vector<std::string> installed_;
    bool sha2Capable_ = false;
    std::string sha2ProviderName_;
    std::string registryBranch_;
    RequestTexts requests_;
};

// servicePackNumber: the number in a service-pack text such as
// "Service Pack 3", read as atoi reads it from the fourteenth character on
// (0 when the text is shorter or holds no digits there); nullopt for an
// empty text, which names no service pack at all.
std::optional<std::int32_t> servicePackNumber(std::string_view csdVersion);

}  // namespace pennaform
