#include "pfx/MobileExport.h"

#include "certificates/CertWrapper.h"
#include "crypto/Des.h"
#include "crypto/Digests.h"
#include "encoding/ByteBuffer.h"
#include "encoding/ErrorTable.h"
#include "platform/RsaKeyBlob.h"

namespace pennaform {
namespace {

constexpr std::string_view kMagic = "QUVO";

void appendBigEndian32(platform::SecretBytes& out, std::uint32_t value) {
    const std::uint8_t bytes[4] = {std::uint8_t(value >> 24), std::uint8_t(value >> 16),
                                   std::uint8_t(value >> 8), std::uint8_t(value)};
    out.append(bytes);
}

// appendReversed: a key number of the blob, most significant byte first.
void appendReversed(platform::SecretBytes& out, platform::ByteView littleEndian) {
    std::span<std::uint8_t> room = out.grow(littleEndian.size());
    std::copy(littleEndian.rbegin(), littleEndian.rend(), room.begin());
}

void appendText(platform::SecretBytes& out, std::string_view text) {
    out.append({reinterpret_cast<const std::uint8_t*>(text.data()), text.size()});
}

void appendCounted(platform::SecretBytes& out, platform::ByteView bytes) {
    appendBigEndian32(out, std::uint32_t(bytes.size()));
    out.append(bytes);
}

}  // namespace

platform::SecretBytes mobileRecord(const platform::Platform& platform,
                                   platform::ByteView certificate,
                                   platform::ByteView privateKeyBlob) {
    platform::SecretBytes record;
    const std::optional<platform::RsaPrivateKeyBlobFields> key =
        platform::readRsaPrivateKeyBlob(privateKeyBlob);
    CertWrapper wrapper(platform);
    if (!key || !wrapper.loadEncoded(certificate)) return record;
    ByteBuffer serial;
    if (!serial.hexDecode(wrapper.serialHex())) serial.release();
    Sha1Digest digest;
    if (!digest.compute(certificate.data(), certificate.size())) return record;
    const std::string commonName = wrapper.subjectCN();

    appendText(record, kMagic);
    appendBigEndian32(record, key->bitLength);
    appendBigEndian32(record, key->publicExponent);
    for (platform::ByteView number : {key->modulus, key->prime1, key->prime2, key->exponent1,
                                      key->exponent2, key->coefficient, key->privateExponent}) {
        appendReversed(record, number);
    }
    appendCounted(record,
                  {reinterpret_cast<const std::uint8_t*>(commonName.data()), commonName.size()});
    appendCounted(record, serial.bytes());
    record.append(digest.bytes());
    // A date that cannot be rendered takes no bytes: the fields after it move up.
    appendText(record, wrapper.notBeforeCompact());
    appendText(record, wrapper.notAfterCompact());
    appendCounted(record, certificate);
    return record;
}

std::optional<std::array<std::uint8_t, 24>> mobileRecordKey(std::string_view password) {
    std::array<std::uint8_t, 24> key{};
    Sha1Digest digest;
    if (!digest.compute(password.data(), password.size())) return std::nullopt;
    std::copy(digest.bytes().begin(), digest.bytes().end(), key.begin());
    std::copy(kMagic.begin(), kMagic.end(), key.begin() + 20);
    return key;
}

MobileExportText buildMobileExport(const platform::Platform& platform,
                                   platform::ByteView certificate, std::string_view password,
                                   platform::ByteView privateKeyBlob) {
    if (certificate.empty() || privateKeyBlob.empty()) return {codes::kEncryptionFailed, {}};
    const platform::SecretBytes record = mobileRecord(platform, certificate, privateKeyBlob);
    if (record.empty()) return {codes::kEncryptionFailed, {}};
    std::optional<std::array<std::uint8_t, 24>> key = mobileRecordKey(password);
    if (!key) return {codes::kDigestFailed, {}};
    std::optional<des::TripleDes> cipher = des::TripleDes::fromKey(*key);
    platform::wipeMemory(key->data(), key->size());
    if (!cipher) return {codes::kEncryptionFailed, {}};
    const platform::SecretBytes encrypted(des::cbcEncrypt(*cipher, des::Block{}, record.view()));
    ByteBuffer text;
    if (encrypted.size() > std::size_t(INT32_MAX) ||
        !text.base64Encode(encrypted.view().data(), std::int32_t(encrypted.size())) ||
        text.length() == 0) {
        return {codes::kEncryptionFailed, {}};
    }
    return {codes::kSuccess, std::string(text.text())};
}

}  // namespace pennaform
