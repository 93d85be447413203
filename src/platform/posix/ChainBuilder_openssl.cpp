// Chains built by OpenSSL's verifier over the user's stores: the trust
// anchors are the certificates of "ROOT"; "CA", "MY" and the caller's extra
// store offer the intermediate ones. The verify callback records every
// problem and lets the verifier go on, so that the status carries all of
// them, as Windows reports every trust bit of a chain at once. No revocation
// and no usage is checked.
#include "platform/posix/ChainBuilder_openssl.h"

#include <openssl/x509_vfy.h>

#include <ctime>

#include "platform/CertificateStores.h"
#include "platform/posix/CertificateReader_openssl.h"
#include "platform/posix/OpenSslOwners.h"

namespace pennaform::platform {
namespace {

// The difference between the Windows and the Unix epochs, in seconds.
constexpr std::int64_t kUnixEpochSeconds = 11644473600;
constexpr std::uint64_t kTicksPerSecond = 10000000;

// trustBitOf: the CERT_TRUST_* error bit Windows reports for what OpenSSL's
// verifier found; 0 for a problem it has no bit for.
std::uint32_t trustBitOf(int verifyError) {
    switch (verifyError) {
        case X509_V_OK:
            return 0;
        case X509_V_ERR_CERT_NOT_YET_VALID:
        case X509_V_ERR_CERT_HAS_EXPIRED:
        case X509_V_ERR_ERROR_IN_CERT_NOT_BEFORE_FIELD:
        case X509_V_ERR_ERROR_IN_CERT_NOT_AFTER_FIELD:
            return chainErrors::kNotTimeValid;
        case X509_V_ERR_CERT_REVOKED:
            return chainErrors::kRevoked;
        case X509_V_ERR_CERT_SIGNATURE_FAILURE:
        case X509_V_ERR_UNABLE_TO_DECRYPT_CERT_SIGNATURE:
        case X509_V_ERR_UNABLE_TO_DECODE_ISSUER_PUBLIC_KEY:
            return chainErrors::kNotSignatureValid;
        case X509_V_ERR_INVALID_PURPOSE:
        case X509_V_ERR_KEYUSAGE_NO_CERTSIGN:
            return chainErrors::kNotValidForUsage;
        case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT:
        case X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN:
        case X509_V_ERR_CERT_UNTRUSTED:
            return chainErrors::kUntrustedRoot;
        case X509_V_ERR_INVALID_CA:
        case X509_V_ERR_PATH_LENGTH_EXCEEDED:
            return chainErrors::kInvalidBasicConstraints;
        case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT:
        case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY:
            return chainErrors::kPartialChain;
        default:
            return 0;
    }
}

// recordEveryProblem: the verify callback: each problem's bit is added to
// the status kept on the context, and verification goes on.
int recordEveryProblem(int ok, X509_STORE_CTX* context) {
    if (ok == 0) {
        auto* status = static_cast<std::uint32_t*>(X509_STORE_CTX_get_app_data(context));
        if (status != nullptr) *status |= trustBitOf(X509_STORE_CTX_get_error(context));
    }
    return 1;
}

// addCertificatesOf: every certificate of `store` that OpenSSL reads, to
// `add`; the store's error when it cannot be listed.
template <typename Add>
Status addCertificatesOf(const CertificateStore& store, OSSL_LIB_CTX* library, Add add) {
    Outcome<std::vector<StoredCertificate>> all = store.certificates();
    if (!all) return all.failure();
    for (const StoredCertificate& stored : *all) {
        Outcome<openssl::X509Cert> certificate = decodeX509Certificate(library, stored.encoded);
        if (certificate && !add(std::move(*certificate))) return fail(errors::kErrorOutOfMemory);
    }
    return Status::success();
}

class OpenSslChainBuilder : public ChainBuilder {
public:
    OpenSslChainBuilder(CertificateStores& stores, std::shared_ptr<OpenSslLibrary> library)
        : stores_(stores), library_(std::move(library)) {}

    Outcome<CertificateChain> buildChain(ByteView certificate, const CertificateStore* extraStore,
                                         std::optional<FileTime> at) override {
        if (certificate.empty()) return fail(errors::kEInvalidArg);
        const openssl::ErrorQueueScope errorQueue;
        Outcome<openssl::X509Cert> subject =
            decodeX509Certificate(library_->context(), certificate);
        if (!subject) return subject.failure();
        openssl::Owned<X509_STORE> anchors(X509_STORE_new());
        openssl::Owned<STACK_OF(X509)> intermediates(sk_X509_new_null());
        if (!anchors || !intermediates) return fail(errors::kErrorOutOfMemory);

        Status read = addSystemStore(SystemStore::kRoot, [&](openssl::X509Cert c) {
            return X509_STORE_add_cert(anchors.get(), c.get()) == 1;
        });
        auto addIntermediate = [&](openssl::X509Cert c) {
            if (sk_X509_push(intermediates.get(), c.get()) == 0) return false;
            (void)c.release();  // the stack owns it now
            return true;
        };
        if (read) read = addSystemStore(SystemStore::kCa, addIntermediate);
        if (read) read = addSystemStore(SystemStore::kMy, addIntermediate);
        if (read && extraStore != nullptr)
            read = addCertificatesOf(*extraStore, library_->context(), addIntermediate);
        if (!read) return read.failure();
        return verify(anchors.get(), subject->get(), intermediates.get(), at);
    }

private:
    template <typename Add>
    Status addSystemStore(SystemStore which, Add add) {
        Outcome<std::unique_ptr<CertificateStore>> store = stores_.openSystemStore(which);
        if (!store) return store.failure();
        return addCertificatesOf(**store, library_->context(), add);
    }

    // verify: OpenSSL's verification of `subject` at `at` (now when not
    // given), every problem recorded; the chain it built, subject first.
    Outcome<CertificateChain> verify(X509_STORE* anchors, X509* subject,
                                     STACK_OF(X509) * intermediates, std::optional<FileTime> at) {
        openssl::Owned<X509_STORE_CTX> context(X509_STORE_CTX_new_ex(library_->context(), nullptr));
        if (!context || X509_STORE_CTX_init(context.get(), anchors, subject, intermediates) != 1) {
            return fail(errors::kErrorOutOfMemory);
        }
        const std::time_t when =
            at ? std::time_t(std::int64_t(at->ticks / kTicksPerSecond) - kUnixEpochSeconds)
               : std::time(nullptr);
        X509_STORE_CTX_set_time(context.get(), 0, when);
        CertificateChain chain;
        X509_STORE_CTX_set_app_data(context.get(), &chain.errorStatus);
        X509_STORE_CTX_set_verify_cb(context.get(), recordEveryProblem);
        if (X509_verify_cert(context.get()) < 0) return fail(errors::kCryptEAsn1Corrupt);
        STACK_OF(X509)* built = X509_STORE_CTX_get0_chain(context.get());
        for (int i = 0; i < sk_X509_num(built); ++i) {
            unsigned char* der = nullptr;
            const int len = i2d_X509(sk_X509_value(built, i), &der);
            if (len <= 0) return fail(errors::kErrorOutOfMemory);
            const openssl::OpenSslBytes owned(der);
            chain.elements.emplace_back(der, der + len);
        }
        return chain;
    }

    CertificateStores& stores_;
    std::shared_ptr<OpenSslLibrary> library_;
};

}  // namespace

std::unique_ptr<ChainBuilder> makeOpenSslChainBuilder(CertificateStores& stores,
                                                      std::shared_ptr<OpenSslLibrary> library) {
    return std::make_unique<OpenSslChainBuilder>(stores, std::move(library));
}

}  // namespace pennaform::platform
