// Reading a PFX file walks its layers itself rather than through
// PKCS12_parse, which keeps one key only and drops the bag attributes that
// bind certificates to keys (localKeyId) and name them (friendlyName, the
// provider name). Before any key derivation its iteration count is checked
// against the caps, since the file says how much work it costs.
#include "platform/posix/Pkcs12_openssl.h"

#include <openssl/crypto.h>
#include <openssl/err.h>
#include <openssl/objects.h>
#include <openssl/rand.h>
#include <openssl/sha.h>

#include <climits>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "platform/CodePage.h"
#include "platform/HexText.h"
#include "platform/ProviderNames.h"
#include "platform/posix/Pkcs12Writer_openssl.h"
#include "platform/posix/RsaKeys_openssl.h"

namespace pennaform::platform {
namespace {

// Nested SafeContents bags deeper than this are refused.
constexpr int kMaxBagDepth = 4;
// The provider of an imported key when the file names none that is
// installed, as the platform's own import chooses.
constexpr const char* kDefaultImportProvider = providerNames::kEnhanced.data();

// PasswordText: a password as OpenSSL takes it (UTF-8, or no text at all for
// the NULL password), wiped when dropped.
class PasswordText {
public:
    explicit PasswordText(const PfxPassword& password)
        : isNull_(!password), text_(password ? utf16ToUtf8(*password) : std::string()) {}
    PasswordText(PasswordText&&) = default;
    ~PasswordText() { OPENSSL_cleanse(text_.data(), text_.size()); }

    // The empty password is "" (OpenSSL then feeds the KDF a 2-byte NUL);
    // the NULL password is a null pointer (no bytes at all).
    const char* text() const { return isNull_ ? nullptr : text_.c_str(); }
    int length() const { return int(text_.size()); }

private:
    bool isNull_;
    std::string text_;
};

// passwordsToTry: the password as given and, for an empty one, the other
// empty convention too, since tools disagree on which one they write.
std::vector<PasswordText> passwordsToTry(const PfxPassword& password) {
    std::vector<PasswordText> tries;
    tries.emplace_back(password);
    if (!password) tries.emplace_back(PfxPassword(u""));
    if (password && password->empty()) tries.emplace_back(PfxPassword());
    return tries;
}

// IterationBudget: the key-derivation work one file may still ask for.
class IterationBudget {
public:
    // spend: false when `iterations` is over the per-derivation cap or over
    // what is left for the file; nothing is spent then.
    bool spend(std::optional<std::uint64_t> iterations) {
        if (!iterations || *iterations > kMaxPfxIterations || *iterations > left_) return false;
        left_ -= *iterations;
        return true;
    }

private:
    std::uint64_t left_ = kMaxPfxIterationWork;
};

std::optional<std::uint64_t> integerValue(const ASN1_INTEGER* value) {
    const openssl::ErrorQueueScope errorQueue;
    if (value == nullptr) return 1;  // an absent count means one iteration
    std::uint64_t count = 0;
    if (ASN1_INTEGER_get_uint64(&count, value) != 1) {
        return std::nullopt;
    }
    return count;
}

// sequenceParameter: the SEQUENCE parameter of `algorithm` decoded as `Item`.
template <typename Params>
openssl::Owned<Params> sequenceParameter(const X509_ALGOR* algorithm, const ASN1_ITEM* item) {
    if (algorithm == nullptr || algorithm->parameter == nullptr ||
        algorithm->parameter->type != V_ASN1_SEQUENCE) {
        return nullptr;
    }
    return openssl::Owned<Params>(
        static_cast<Params*>(ASN1_item_unpack(algorithm->parameter->value.sequence, item)));
}

// iterationsOf: the iteration count of a password-based encryption
// algorithm: PBES2 with PBKDF2, or a PKCS#12 / PKCS#5 v1 scheme. Nothing for
// a scheme whose count cannot be read (scrypt among them), which the budget
// then refuses.
std::optional<std::uint64_t> iterationsOf(const X509_ALGOR* algorithm) {
    const openssl::ErrorQueueScope errorQueue;
    if (algorithm == nullptr || algorithm->algorithm == nullptr) return std::nullopt;
    if (OBJ_obj2nid(algorithm->algorithm) == NID_pbes2) {
        auto pbes2 = sequenceParameter<PBE2PARAM>(algorithm, ASN1_ITEM_rptr(PBE2PARAM));
        if (!pbes2 || pbes2->keyfunc == nullptr ||
            OBJ_obj2nid(pbes2->keyfunc->algorithm) != NID_id_pbkdf2) {
            return std::nullopt;
        }
        auto pbkdf2 = sequenceParameter<PBKDF2PARAM>(pbes2->keyfunc, ASN1_ITEM_rptr(PBKDF2PARAM));
        if (!pbkdf2) {
            return std::nullopt;
        }
        return integerValue(pbkdf2->iter);
    }
    auto pbe = sequenceParameter<PBEPARAM>(algorithm, ASN1_ITEM_rptr(PBEPARAM));
    if (!pbe) {
        return std::nullopt;
    }
    return integerValue(pbe->iter);
}

// macIterations: the iteration count of the file's MAC key derivation.
std::optional<std::uint64_t> macIterations(const PKCS12* pfx) {
    const ASN1_INTEGER* iterations = nullptr;
    PKCS12_get0_mac(nullptr, nullptr, nullptr, &iterations, pfx);
    return integerValue(iterations);
}

// readPfx: the outer PFX structure of `bytes`, read in the backend's
// library context so that every layer below decrypts in it; null when the
// bytes are not exactly one PFX.
openssl::Pkcs12 readPfx(OSSL_LIB_CTX* library, ByteView bytes) {
    const openssl::ErrorQueueScope errorQueue;
    if (bytes.empty() || bytes.size() > std::size_t(LONG_MAX)) return nullptr;
    PKCS12* decoded = PKCS12_init_ex(NID_pkcs7_data, library, nullptr);
    if (decoded == nullptr) return nullptr;
    const unsigned char* cursor = bytes.data();
    // On failure d2i frees the object it was given and leaves null.
    if (d2i_PKCS12(&decoded, &cursor, long(bytes.size())) == nullptr) {
        return nullptr;
    }
    openssl::Pkcs12 pfx(decoded);
    if (cursor != bytes.data() + bytes.size()) return nullptr;
    return pfx;
}

// unpackAuthSafes: the ContentInfo list of a PFX in password integrity mode.
openssl::AuthSafes unpackAuthSafes(const PKCS12* pfx) {
    const openssl::ErrorQueueScope errorQueue;
    openssl::AuthSafes safes(PKCS12_unpack_authsafes(pfx));
    return safes;
}

// encryptionOf: the encryption algorithm of an EncryptedData ContentInfo.
const X509_ALGOR* encryptionOf(const PKCS7* content) {
    if (content->d.encrypted == nullptr || content->d.encrypted->enc_data == nullptr) {
        return nullptr;
    }
    return content->d.encrypted->enc_data->algorithm;
}

// visibleKeyIterations: spends on `budget` the shrouded key bags of
// `bags`, nested SafeContents included; false when the budget refuses one or
// the nesting is too deep.
bool visibleKeyIterations(const STACK_OF(PKCS12_SAFEBAG) * bags, int depth,
                          IterationBudget& budget) {
    if (depth > kMaxBagDepth) return false;
    for (int i = 0; i < sk_PKCS12_SAFEBAG_num(bags); ++i) {
        const PKCS12_SAFEBAG* bag = sk_PKCS12_SAFEBAG_value(bags, i);
        switch (PKCS12_SAFEBAG_get_nid(bag)) {
            case NID_pkcs8ShroudedKeyBag: {
                const X509_SIG* shrouded = PKCS12_SAFEBAG_get0_pkcs8(bag);
                const X509_ALGOR* algorithm = nullptr;
                if (shrouded != nullptr) X509_SIG_get0(shrouded, &algorithm, nullptr);
                if (!budget.spend(iterationsOf(algorithm))) return false;
                break;
            }
            case NID_safeContentsBag:
                if (!visibleKeyIterations(PKCS12_SAFEBAG_get0_safes(bag), depth + 1, budget)) {
                    return false;
                }
                break;
            default:
                break;
        }
    }
    return true;
}

// visibleIterationsWithinCaps: spends on `budget` all the work the file
// asks for that can be read without the password: its MAC, its
// EncryptedData layers and the shrouded keys of its unencrypted layers.
// False when the budget refuses any, before a single derivation is run; the
// keys inside encrypted layers are spent as they are met.
bool visibleIterationsWithinCaps(const PKCS12* pfx, const STACK_OF(PKCS7) * safes,
                                 IterationBudget& budget) {
    const openssl::ErrorQueueScope errorQueue;
    if (PKCS12_mac_present(pfx) && !budget.spend(macIterations(pfx))) return false;
    for (int i = 0; i < sk_PKCS7_num(safes); ++i) {
        const PKCS7* content = sk_PKCS7_value(safes, i);
        switch (OBJ_obj2nid(content->type)) {
            case NID_pkcs7_encrypted:
                if (!budget.spend(iterationsOf(encryptionOf(content)))) return false;
                break;
            case NID_pkcs7_data: {
                openssl::SafeBags bags(PKCS12_unpack_p7data(const_cast<PKCS7*>(content)));
                if (bags && !visibleKeyIterations(bags.get(), 0, budget)) return false;
                break;
            }
            default:
                break;
        }
    }
    return true;
}

// attributeText: a text attribute of a bag as UTF-8; empty when absent.
std::string attributeText(const PKCS12_SAFEBAG* bag, int nid) {
    const openssl::ErrorQueueScope errorQueue;
    const ASN1_TYPE* value = PKCS12_SAFEBAG_get0_attr(bag, nid);
    if (value == nullptr || value->type != V_ASN1_BMPSTRING) return {};
    unsigned char* utf8 = nullptr;
    int length = ASN1_STRING_to_UTF8(&utf8, value->value.bmpstring);
    if (length < 0) {
        return {};
    }
    openssl::OpenSslBytes owned(utf8);
    return std::string(reinterpret_cast<const char*>(utf8), std::size_t(length));
}

Bytes localKeyIdOf(const PKCS12_SAFEBAG* bag) {
    const ASN1_TYPE* value = PKCS12_SAFEBAG_get0_attr(bag, NID_localKeyID);
    if (value == nullptr || value->type != V_ASN1_OCTET_STRING) return {};
    const ASN1_OCTET_STRING* id = value->value.octet_string;
    return Bytes(id->data, id->data + id->length);
}

// keySpecOf: AT_SIGNATURE when the key bag's key-usage attribute allows
// digital signatures only, as the platform writes signature keys; otherwise
// AT_KEYEXCHANGE.
KeySpec keySpecOf(const PKCS12_SAFEBAG* bag) {
    const ASN1_TYPE* value = PKCS12_SAFEBAG_get0_attr(bag, NID_key_usage);
    if (value == nullptr || value->type != V_ASN1_BIT_STRING) return KeySpec::kKeyExchange;
    const ASN1_BIT_STRING* usage = value->value.bit_string;
    bool signatureOnly = usage->length >= 1 && usage->data[0] == 0x80;
    return signatureOnly ? KeySpec::kSignature : KeySpec::kKeyExchange;
}

// copyOfBag: a copy of `bag`, kept for its attributes after its safe is
// freed.
openssl::SafeBag copyOfBag(const PKCS12_SAFEBAG* bag) {
    return openssl::SafeBag(static_cast<PKCS12_SAFEBAG*>(
        ASN1_item_dup(ASN1_ITEM_rptr(PKCS12_SAFEBAG), const_cast<PKCS12_SAFEBAG*>(bag))));
}

struct KeyItem {
    openssl::SafeBag bag;  // as the file holds it
    SecretBytes pkcs8;
    openssl::Pkey key;
    Bytes localKeyId;
    std::string providerName;  // UTF-8; empty when the file names none
    KeySpec spec = KeySpec::kKeyExchange;
    std::optional<KeyProvInfo> binding;  // set once its container exists
};

struct CertItem {
    openssl::SafeBag bag;  // as the file holds it
    Bytes der;
    openssl::X509Cert certificate;
    Bytes localKeyId;
    std::string friendlyName;  // UTF-8; empty when absent
};

// ContentsReader: collects the keys and certificates of a PFX, decrypting
// with the first of the passwords that works. `budget` has already been
// spent on what visibleIterationsWithinCaps sees; the keys inside encrypted
// layers are spent on it as they are met.
class ContentsReader {
public:
    ContentsReader(OSSL_LIB_CTX* library, const std::vector<PasswordText>& passwords,
                   IterationBudget& budget)
        : library_(library), passwords_(passwords), budget_(budget) {}

    Status read(const PKCS12* pfx);
    std::vector<KeyItem>& keys() { return keys_; }
    std::vector<CertItem>& certificates() { return certificates_; }

private:
    // `spent`: whether the shrouded keys of `bags` were spent on the budget
    // already (they lie in an unencrypted layer).
    Status readBags(const STACK_OF(PKCS12_SAFEBAG) * bags, int depth, bool spent);
    Status readKey(const PKCS12_SAFEBAG* bag, const PKCS8_PRIV_KEY_INFO* info);
    Status readShroudedKey(const PKCS12_SAFEBAG* bag, bool spent);
    Status readCertificate(const PKCS12_SAFEBAG* bag);

    OSSL_LIB_CTX* library_;
    const std::vector<PasswordText>& passwords_;
    IterationBudget& budget_;
    std::vector<KeyItem> keys_;
    std::vector<CertItem> certificates_;
};

Status ContentsReader::read(const PKCS12* pfx) {
    const openssl::ErrorQueueScope errorQueue;
    openssl::AuthSafes safes = unpackAuthSafes(pfx);
    if (!safes) return fail(errors::kCryptEBadEncode);
    for (int i = 0; i < sk_PKCS7_num(safes.get()); ++i) {
        PKCS7* content = sk_PKCS7_value(safes.get(), i);
        openssl::SafeBags bags;
        switch (OBJ_obj2nid(content->type)) {
            case NID_pkcs7_data:
                bags.reset(PKCS12_unpack_p7data(content));
                if (!bags) return fail(errors::kCryptEBadEncode);
                break;
            case NID_pkcs7_encrypted:
                for (const PasswordText& password : passwords_) {
                    bags.reset(
                        PKCS12_unpack_p7encdata(content, password.text(), password.length()));
                    if (bags) break;
                }
                if (!bags) return fail(errors::kErrorInvalidPassword);
                break;
            default:
                continue;  // public-key privacy mode: nothing the platform reads
        }
        const bool spent = OBJ_obj2nid(content->type) == NID_pkcs7_data;
        Status read = readBags(bags.get(), 0, spent);
        if (!read) return read;
    }
    return Status::success();
}

Status ContentsReader::readBags(const STACK_OF(PKCS12_SAFEBAG) * bags, int depth, bool spent) {
    if (depth > kMaxBagDepth) return fail(errors::kCryptEBadEncode);
    for (int i = 0; i < sk_PKCS12_SAFEBAG_num(bags); ++i) {
        const PKCS12_SAFEBAG* bag = sk_PKCS12_SAFEBAG_value(bags, i);
        Status read = Status::success();
        switch (PKCS12_SAFEBAG_get_nid(bag)) {
            case NID_keyBag:
                read = readKey(bag, PKCS12_SAFEBAG_get0_p8inf(bag));
                break;
            case NID_pkcs8ShroudedKeyBag:
                read = readShroudedKey(bag, spent);
                break;
            case NID_certBag:
                read = readCertificate(bag);
                break;
            case NID_safeContentsBag:
                read = readBags(PKCS12_SAFEBAG_get0_safes(bag), depth + 1, spent);
                break;
            default:
                break;  // CRL and secret bags carry nothing the store keeps
        }
        if (!read) return read;
    }
    return Status::success();
}

Status ContentsReader::readKey(const PKCS12_SAFEBAG* bag, const PKCS8_PRIV_KEY_INFO* info) {
    const openssl::ErrorQueueScope errorQueue;
    if (info == nullptr) return fail(errors::kCryptEBadEncode);
    unsigned char* der = nullptr;
    int length = i2d_PKCS8_PRIV_KEY_INFO(info, &der);
    if (length <= 0) {
        return fail(errors::kCryptEBadEncode);
    }
    SecretBytes pkcs8(Bytes(der, der + length));
    OPENSSL_clear_free(der, std::size_t(length));
    Outcome<openssl::Pkey> key = rsaKeys::fromPkcs8(library_, pkcs8.view());
    if (!key) return fail(errors::kCryptEBadEncode);
    openssl::SafeBag copy = copyOfBag(bag);
    if (!copy) return fail(errors::kNteNoMemory);
    keys_.push_back({std::move(copy), std::move(pkcs8), std::move(*key), localKeyIdOf(bag),
                     attributeText(bag, NID_ms_csp_name), keySpecOf(bag), std::nullopt});
    return Status::success();
}

Status ContentsReader::readShroudedKey(const PKCS12_SAFEBAG* bag, bool spent) {
    const openssl::ErrorQueueScope errorQueue;
    const X509_SIG* shrouded = PKCS12_SAFEBAG_get0_pkcs8(bag);
    if (shrouded == nullptr) return fail(errors::kCryptEBadEncode);
    const X509_ALGOR* algorithm = nullptr;
    X509_SIG_get0(shrouded, &algorithm, nullptr);
    if (!spent && !budget_.spend(iterationsOf(algorithm))) return fail(errors::kCryptEBadEncode);
    for (const PasswordText& password : passwords_) {
        openssl::Pkcs8 info(
            PKCS12_decrypt_skey_ex(bag, password.text(), password.length(), library_, nullptr));
        if (info) return readKey(bag, info.get());
    }
    return fail(errors::kErrorInvalidPassword);
}

Status ContentsReader::readCertificate(const PKCS12_SAFEBAG* bag) {
    const openssl::ErrorQueueScope errorQueue;
    if (PKCS12_SAFEBAG_get_bag_nid(bag) != NID_x509Certificate) return Status::success();
    openssl::X509Cert certificate(PKCS12_SAFEBAG_get1_cert(bag));
    unsigned char* der = nullptr;
    int length = certificate ? i2d_X509(certificate.get(), &der) : -1;
    if (length <= 0) {
        return fail(errors::kCryptEBadEncode);
    }
    openssl::OpenSslBytes owned(der);
    char* name = PKCS12_get_friendlyname(const_cast<PKCS12_SAFEBAG*>(bag));
    std::string friendlyName = name != nullptr ? name : "";
    OPENSSL_free(name);
    openssl::SafeBag copy = copyOfBag(bag);
    if (!copy) return fail(errors::kNteNoMemory);
    certificates_.push_back({std::move(copy), Bytes(der, der + length), std::move(certificate),
                             localKeyIdOf(bag), friendlyName});
    return Status::success();
}

// keyFor: the key a certificate goes with: the one of the same localKeyId,
// else the one whose public half is the certificate's.
KeyItem* keyFor(const CertItem& certificate, std::vector<KeyItem>& keys) {
    const openssl::ErrorQueueScope errorQueue;
    if (!certificate.localKeyId.empty()) {
        for (KeyItem& key : keys) {
            if (key.localKeyId == certificate.localKeyId) return &key;
        }
    }
    const EVP_PKEY* publicKey = X509_get0_pubkey(certificate.certificate.get());
    for (KeyItem& key : keys) {
        if (publicKey != nullptr && EVP_PKEY_eq(key.key.get(), publicKey) == 1) return &key;
    }
    return nullptr;
}

// newContainerName: a GUID-shaped name, upper case in braces, as the names
// of the platform's own imported key containers.
Outcome<std::string> newContainerName(OSSL_LIB_CTX* library) {
    const openssl::ErrorQueueScope errorQueue;
    unsigned char random[16];
    if (RAND_bytes_ex(library, random, sizeof random, 0) != 1) {
        return fail(errors::kNteFail);
    }
    random[6] = std::uint8_t((random[6] & 0x0F) | 0x40);  // version 4
    random[8] = std::uint8_t((random[8] & 0x3F) | 0x80);  // RFC 4122 variant
    // {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}: groups of 4, 2, 2, 2 and 6 bytes.
    std::string text = "{";
    std::span<const std::uint8_t> rest(random);
    for (std::size_t group : {4, 2, 2, 2, 6}) {
        if (text.size() > 1) text += '-';
        appendUpperHex(text, rest.first(group));
        rest = rest.subspan(group);
    }
    return text + "}";
}

class OpenSslPkcs12 : public Pkcs12 {
public:
    OpenSslPkcs12(std::shared_ptr<OpenSslLibrary> library, SoftwareKeyProviders& keys,
                  CertificateStores& stores)
        : library_(std::move(library)), keys_(keys), stores_(stores) {}

    bool isPfx(ByteView bytes) const override {
        openssl::Pkcs12 pfx = readPfx(library_->context(), bytes);
        if (!pfx) return false;
        openssl::AuthSafes safes = unpackAuthSafes(pfx.get());
        IterationBudget budget;
        return safes && visibleIterationsWithinCaps(pfx.get(), safes.get(), budget);
    }

    bool verifyPassword(ByteView bytes, const PfxPassword& password) const override {
        const openssl::ErrorQueueScope errorQueue;
        openssl::Pkcs12 pfx = readPfx(library_->context(), bytes);
        if (!pfx) return false;
        openssl::AuthSafes safes = unpackAuthSafes(pfx.get());
        IterationBudget budget;
        if (!safes || !visibleIterationsWithinCaps(pfx.get(), safes.get(), budget)) return false;
        std::vector<PasswordText> exactly;
        exactly.emplace_back(password);
        if (PKCS12_mac_present(pfx.get())) {
            return PKCS12_verify_mac(pfx.get(), exactly[0].text(), exactly[0].length()) == 1;
        }
        // Without a MAC the password proves itself by decrypting the contents.
        ContentsReader reader(library_->context(), exactly, budget);
        return reader.read(pfx.get()).ok();
    }

    Outcome<std::unique_ptr<CertificateStore>> importPfx(ByteView bytes,
                                                         const PfxPassword& password,
                                                         std::uint32_t flags) override;

    Outcome<Bytes> exportPfx(const CertificateStore& store, const PfxPassword& password,
                             std::uint32_t flags) override;
    Outcome<Bytes> changePassword(ByteView bytes, const PfxPassword& oldPassword,
                                  const PfxPassword& newPassword) override;

private:
    Status readContents(ByteView bytes, const std::vector<PasswordText>& passwords,
                        IterationBudget& budget, ContentsReader& reader) const;
    Outcome<SecretBytes> privateKeyOf(const CertProperties& properties);
    Status addKeyOf(PfxWriter& writer, const CertProperties& properties, ByteView certificate,
                    PKCS12_SAFEBAG* certificateBag, std::uint32_t flags);
    Status checkIntegrity(PKCS12* pfx, const std::vector<PasswordText>& passwords) const;
    Status createContainers(std::vector<KeyItem>& keys, std::uint32_t flags,
                            std::vector<ContainerRef>& created);
    ProviderInfo providerFor(const KeyItem& key) const;

    std::shared_ptr<OpenSslLibrary> library_;
    SoftwareKeyProviders& keys_;
    CertificateStores& stores_;
};

Status OpenSslPkcs12::checkIntegrity(PKCS12* pfx,
                                     const std::vector<PasswordText>& passwords) const {
    const openssl::ErrorQueueScope errorQueue;
    if (!PKCS12_mac_present(pfx)) return Status::success();
    for (const PasswordText& password : passwords) {
        if (PKCS12_verify_mac(pfx, password.text(), password.length()) == 1) {
            return Status::success();
        }
    }
    return fail(errors::kErrorInvalidPassword);
}

ProviderInfo OpenSslPkcs12::providerFor(const KeyItem& key) const {
    std::string named = toAnsi(utf8ToUtf16(key.providerName));
    for (const ProviderInfo& provider : keys_.providers()) {
        if (!named.empty() && provider.name == named) return provider;
    }
    return {kDefaultImportProvider, providerTypes::kRsaFull};
}

// createContainers: a new container for every key a certificate goes with;
// the names of those made are added to `created`.
Status OpenSslPkcs12::createContainers(std::vector<KeyItem>& keys, std::uint32_t flags,
                                       std::vector<ContainerRef>& created) {
    std::uint32_t containerFlags = 0;
    ContainerStorage storage = (flags & pfxImportFlags::kNoPersistKey) != 0
                                   ? ContainerStorage::kMemoryOnly
                                   : ContainerStorage::kPersisted;
    if (flags & pfxImportFlags::kExportable) containerFlags |= keyFlags::kExportable;
    if (flags & pfxImportFlags::kUserProtected) containerFlags |= keyFlags::kUserProtected;
    for (KeyItem& key : keys) {
        if (!key.binding) continue;  // claimed by no certificate: not imported
        Outcome<std::string> name = newContainerName(library_->context());
        if (!name) return name.failure();
        ProviderInfo provider = providerFor(key);
        ContainerRef ref{*name, provider.name, provider.type};
        Outcome<std::unique_ptr<KeyContainer>> container =
            keys_.createContainerWithKey(ref, key.spec, containerFlags, key.pkcs8.view(), storage);
        if (!container) return container.failure();
        created.push_back(ref);
        key.binding =
            KeyProvInfo{toWide(ref.container), toWide(ref.provider), ref.providerType, 0, key.spec};
    }
    return Status::success();
}

// readContents: the keys and certificates of the file `bytes` into
// `reader`, whose budget is `budget`, once all the work the file shows
// before decryption is within that budget and its integrity verifies (once)
// with one of `passwords`.
Status OpenSslPkcs12::readContents(ByteView bytes, const std::vector<PasswordText>& passwords,
                                   IterationBudget& budget, ContentsReader& reader) const {
    openssl::Pkcs12 pfx = readPfx(library_->context(), bytes);
    if (!pfx) return fail(errors::kCryptEBadEncode);
    openssl::AuthSafes safes = unpackAuthSafes(pfx.get());
    if (!safes || !visibleIterationsWithinCaps(pfx.get(), safes.get(), budget)) {
        return fail(errors::kCryptEBadEncode);
    }
    Status intact = checkIntegrity(pfx.get(), passwords);
    if (!intact) return intact;
    return reader.read(pfx.get());
}

Outcome<std::unique_ptr<CertificateStore>> OpenSslPkcs12::importPfx(ByteView bytes,
                                                                    const PfxPassword& password,
                                                                    std::uint32_t flags) {
    std::vector<PasswordText> passwords = passwordsToTry(password);
    IterationBudget budget;
    ContentsReader reader(library_->context(), passwords, budget);
    Status read = readContents(bytes, passwords, budget, reader);
    if (!read) return read.failure();

    std::vector<KeyItem*> keyOf;
    for (const CertItem& certificate : reader.certificates()) {
        KeyItem* key = keyFor(certificate, reader.keys());
        if (key != nullptr) key->binding = KeyProvInfo{};  // marks it wanted
        keyOf.push_back(key);
    }
    Outcome<std::unique_ptr<CertificateStore>> store = stores_.openMemoryStore();
    if (!store) return store.failure();

    std::vector<ContainerRef> created;
    Status imported = createContainers(reader.keys(), flags, created);
    for (std::size_t i = 0; imported && i < reader.certificates().size(); ++i) {
        const CertItem& certificate = reader.certificates()[i];
        CertProperties properties;
        if (keyOf[i] != nullptr) properties.keyProvInfo = keyOf[i]->binding;
        if (!certificate.friendlyName.empty()) {
            properties.friendlyName = utf8ToUtf16(certificate.friendlyName);
        }
        Outcome<CertId> added = (*store)->add(certificate.der, properties, AddDisposition::kAlways);
        if (!added) imported = added.failure();
    }
    if (!imported) {
        // Nothing of a failed import stays behind.
        for (const ContainerRef& ref : created) (void)keys_.deleteContainer(ref);
        return imported.failure();
    }
    return store;
}

// The password change rewrites the file bag by bag rather than through a
// store, so that nothing of it is lost: keys that no certificate goes with,
// the attributes of every bag, the order of the certificates.
Outcome<Bytes> OpenSslPkcs12::changePassword(ByteView bytes, const PfxPassword& oldPassword,
                                             const PfxPassword& newPassword) {
    std::vector<PasswordText> passwords = passwordsToTry(oldPassword);
    IterationBudget budget;
    ContentsReader reader(library_->context(), passwords, budget);
    Status read = readContents(bytes, passwords, budget, reader);
    if (!read) return read.failure();
    PasswordText password(newPassword);
    PfxWriter writer(library_->context(), password.text(), password.length());
    for (const CertItem& certificate : reader.certificates()) {
        Outcome<PKCS12_SAFEBAG*> bag = writer.addCertificate(certificate.der);
        if (!bag) return bag.failure();
        Status copied = copyAttributes(certificate.bag.get(), *bag);
        if (!copied) return copied.failure();
    }
    for (const KeyItem& key : reader.keys()) {
        Outcome<PKCS12_SAFEBAG*> bag = writer.addKey(key.pkcs8.view());
        if (!bag) return bag.failure();
        Status copied = copyAttributes(key.bag.get(), *bag);
        if (!copied) return copied.failure();
    }
    return writer.finish();
}

Outcome<Bytes> OpenSslPkcs12::exportPfx(const CertificateStore& store, const PfxPassword& password,
                                        std::uint32_t flags) {
    Outcome<std::vector<StoredCertificate>> certificates = store.certificates();
    if (!certificates) return certificates.failure();
    PasswordText text(password);
    PfxWriter writer(library_->context(), text.text(), text.length());
    for (const StoredCertificate& certificate : *certificates) {
        Outcome<CertProperties> properties = store.properties(certificate.id);
        if (!properties) return properties.failure();
        Outcome<PKCS12_SAFEBAG*> bag = writer.addCertificate(certificate.encoded);
        if (!bag) return bag.failure();
        if (properties->friendlyName) {
            const openssl::ErrorQueueScope errorQueue;
            std::string name = utf16ToUtf8(*properties->friendlyName);
            if (PKCS12_add_friendlyname_utf8(*bag, name.c_str(), int(name.size())) != 1) {
                return fail(errors::kNteFail);
            }
        }
        if ((flags & pfxExportFlags::kExportPrivateKeys) == 0) continue;
        Status keyed = addKeyOf(writer, *properties, certificate.encoded, *bag, flags);
        if (!keyed) return keyed.failure();
    }
    return writer.finish();
}

// privateKeyOf: the key of a certificate with `properties` as PKCS#8: the
// container of its key context, else the one its key-provider information
// names; CRYPT_E_NO_KEY_PROPERTY when it has neither.
Outcome<SecretBytes> OpenSslPkcs12::privateKeyOf(const CertProperties& properties) {
    if (properties.keyContext && properties.keyContext->container) {
        const KeyContainer& container = *properties.keyContext->container;
        return keys_.exportPrivateKey(
            {container.name(), container.providerName(), container.providerType()},
            properties.keyContext->keySpec);
    }
    if (!properties.keyProvInfo) return fail(errors::kCryptENoKeyProperty);
    const KeyProvInfo& info = *properties.keyProvInfo;
    return keys_.exportPrivateKey(
        {toAnsi(info.containerName), toAnsi(info.providerName), info.providerType}, info.keySpec);
}

// addKeyOf: the private key of the certificate `certificate` (with
// `properties`, in `certificateBag`) as a key bag beside it, both bags
// carrying the certificate's SHA-1 hash as their local key id. A key that
// is missing or may not be exported is left out unless `flags` ask for the
// failure.
Status OpenSslPkcs12::addKeyOf(PfxWriter& writer, const CertProperties& properties,
                               ByteView certificate, PKCS12_SAFEBAG* certificateBag,
                               std::uint32_t flags) {
    Outcome<SecretBytes> key = privateKeyOf(properties);
    if (!key) {
        PlatformError error = key.error();
        if (error == errors::kNteBadKeyState) {
            if (flags & pfxExportFlags::kReportNotAbleToExportPrivateKey) {
                return fail(errors::kNteBadKey);
            }
            return Status::success();
        }
        if (error == errors::kNteNoKey || error == errors::kNteBadKeyset ||
            error == errors::kCryptENoKeyProperty) {
            if (flags & pfxExportFlags::kReportNoPrivateKey) return fail(errors::kNteNoKey);
            return Status::success();
        }
        return key.failure();
    }
    Outcome<PKCS12_SAFEBAG*> bag = writer.addKey(key->view());
    if (!bag) return bag.failure();
    const openssl::ErrorQueueScope errorQueue;
    unsigned char id[SHA_DIGEST_LENGTH];
    std::size_t idLength = 0;
    if (EVP_Q_digest(library_->context(), "SHA1", nullptr, certificate.data(), certificate.size(),
                     id, &idLength) != 1 ||
        PKCS12_add_localkeyid(certificateBag, id, int(idLength)) != 1 ||
        PKCS12_add_localkeyid(*bag, id, int(idLength)) != 1) {
        return fail(errors::kNteFail);
    }
    std::string provider = properties.keyProvInfo
                               ? utf16ToUtf8(properties.keyProvInfo->providerName)
                               : properties.keyContext->container->providerName();
    if (!provider.empty() &&
        PKCS12_add_CSPName_asc(*bag, provider.c_str(), int(provider.size())) != 1) {
        return fail(errors::kNteFail);
    }
    // A signature key says so, as the platform marks one, so that an import
    // puts it in the signature slot again.
    KeySpec spec =
        properties.keyContext ? properties.keyContext->keySpec : properties.keyProvInfo->keySpec;
    const unsigned char signatureOnly[] = {0x80};
    if (spec == KeySpec::kSignature &&
        PKCS12_add1_attr_by_NID(*bag, NID_key_usage, V_ASN1_BIT_STRING, signatureOnly, 1) != 1) {
        return fail(errors::kNteFail);
    }
    return Status::success();
}

}  // namespace

std::unique_ptr<Pkcs12> makeOpenSslPkcs12(std::shared_ptr<OpenSslLibrary> library,
                                          SoftwareKeyProviders& keys, CertificateStores& stores) {
    return std::make_unique<OpenSslPkcs12>(std::move(library), keys, stores);
}

}  // namespace pennaform::platform
