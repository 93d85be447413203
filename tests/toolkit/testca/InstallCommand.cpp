#include "toolkit/testca/InstallCommand.h"

#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/pkcs12.h>
#include <openssl/x509.h>

#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>
#include <map>
#include <memory>
#include <optional>

#include "platform/AsciiCase.h"
#include "platform/CodePage.h"
#include "platform/PlatformFactory.h"

namespace pennaform::testca {
namespace {

using platform::Bytes;

template <auto Free>
struct Freer {
    template <typename T>
    void operator()(T* object) const {
        Free(object);
    }
};
using Pkey = std::unique_ptr<EVP_PKEY, Freer<EVP_PKEY_free>>;
using Certificate = std::unique_ptr<X509, Freer<X509_free>>;
using Pfx = std::unique_ptr<PKCS12, Freer<PKCS12_free>>;
using Bio = std::unique_ptr<BIO, Freer<BIO_free_all>>;

// The password of the PFX the key travels in, from here to the import; it
// never reaches a file.
constexpr const char* kTransferPassword = "pennaform-testca";

struct Options {
    std::string home;
    platform::SystemStore store = platform::SystemStore::kMy;
    std::string certificatePath;
    std::optional<std::string> keyPath;
};

int usage(const std::string& why) {
    std::cerr << "pennaform-testca install: " << why << "\n"
              << "usage: pennaform-testca install --home DIR --store MY|ROOT|CA --cert CERT.der "
                 "[--key KEY.pem]\n";
    return 2;
}

int failure(const std::string& what) {
    std::cerr << "pennaform-testca install: " << what << "\n";
    ERR_clear_error();
    return 1;
}

std::optional<platform::SystemStore> storeNamed(const std::string& name) {
    if (name == "MY") return platform::SystemStore::kMy;
    if (name == "ROOT") return platform::SystemStore::kRoot;
    if (name == "CA") return platform::SystemStore::kCa;
    return std::nullopt;
}

// parse: the options, or the usage complaint.
std::optional<Options> parse(const std::vector<std::string>& args, std::string& complaint) {
    std::map<std::string, std::string> given;
    for (std::size_t i = 0; i < args.size(); i += 2) {
        const std::string& option = args[i];
        if (option != "--home" && option != "--store" && option != "--cert" && option != "--key") {
            complaint = "unknown option " + option;
            return std::nullopt;
        }
        if (i + 1 >= args.size() || given.count(option) != 0) {
            complaint = "option " + option + " needs one value";
            return std::nullopt;
        }
        given[option] = args[i + 1];
    }
    Options options;
    options.home = given["--home"];
    options.certificatePath = given["--cert"];
    std::optional<platform::SystemStore> store = storeNamed(given["--store"]);
    if (options.home.empty() || options.certificatePath.empty() || !store) {
        complaint = "--home, --store (MY, ROOT or CA) and --cert are required";
        return std::nullopt;
    }
    options.store = *store;
    if (given.count("--key") != 0) options.keyPath = given["--key"];
    return options;
}

std::optional<Bytes> readBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

Pkey readPrivateKey(const std::string& path) {
    Bio file(BIO_new_file(path.c_str(), "r"));
    if (!file) return nullptr;
    // PEM_read_bio_PrivateKey reads both PKCS#8 and the traditional forms.
    return Pkey(PEM_read_bio_PrivateKey(file.get(), nullptr, nullptr, nullptr));
}

// keyTransfer: a PFX holding the certificate and its key, made cheap (one
// iteration) because it only lives in memory until the platform imports it.
std::optional<Bytes> keyTransfer(X509* certificate, EVP_PKEY* key) {
    Pfx pfx(PKCS12_create(kTransferPassword, nullptr, key, certificate, nullptr, 0, 0, 1, 1, 0));
    if (!pfx) return std::nullopt;
    unsigned char* der = nullptr;
    int length = i2d_PKCS12(pfx.get(), &der);
    if (length <= 0) return std::nullopt;
    Bytes bytes(der, der + length);
    OPENSSL_free(der);
    return bytes;
}

std::string hex(const Bytes& bytes) {
    std::string text;
    char digits[3];
    for (std::uint8_t byte : bytes) {
        std::snprintf(digits, sizeof digits, "%02X", byte);
        text += digits;
    }
    return text;
}

// bindingFromKey: the certificate's key binding after importing its key.
std::optional<platform::KeyProvInfo> bindingFromKey(platform::Platform& platform, X509* certificate,
                                                    EVP_PKEY* key, std::string& problem) {
    std::optional<Bytes> transfer = keyTransfer(certificate, key);
    if (!transfer) {
        problem = "cannot pack the key";
        return std::nullopt;
    }
    auto imported = platform.pkcs12()->importPfx(*transfer, std::u16string(u"pennaform-testca"),
                                                 platform::pfxImportFlags::kExportable);
    if (!imported) {
        problem = "cannot import the key (platform error " + std::to_string(imported.error()) + ")";
        return std::nullopt;
    }
    auto certificates = *(*imported)->certificates();
    if (certificates.empty()) {
        problem = "the key did not come through the import";
        return std::nullopt;
    }
    auto properties = (*imported)->properties(certificates[0].id);
    if (!properties || !properties->keyProvInfo) {
        problem = "the imported key has no container";
        return std::nullopt;
    }
    // The Enhanced RSA and AES provider signs with SHA-2 as well; the
    // container is reachable through any provider.
    platform::KeyProvInfo binding = *properties->keyProvInfo;
    binding.providerName = u"Microsoft Enhanced RSA and AES Cryptographic Provider";
    binding.providerType = platform::providerTypes::kRsaAes;
    return binding;
}

// bindingOfInstalled: the key binding the certificate `der` already has
// in `store`, if it is there.
std::optional<platform::KeyProvInfo> bindingOfInstalled(platform::CertificateStore& store,
                                                        const Bytes& der) {
    auto certificates = store.certificates();
    if (!certificates) return std::nullopt;
    for (const platform::StoredCertificate& installed : *certificates) {
        if (installed.encoded != der) continue;
        auto properties = store.properties(installed.id);
        if (properties) return properties->keyProvInfo;
    }
    return std::nullopt;
}

// sameContainer: container names compare with ASCII letters folded.
bool sameContainer(const std::u16string& a, const std::u16string& b) {
    return pennaform::equalIgnoringAsciiCase(utf16ToUtf8(a), utf16ToUtf8(b));
}

// anyCertificateNames: whether a certificate of the user's system stores is
// bound to the container.
bool anyCertificateNames(platform::CertificateStores& stores, const std::u16string& container) {
    for (platform::SystemStore which :
         {platform::SystemStore::kMy, platform::SystemStore::kRoot, platform::SystemStore::kCa}) {
        auto store = stores.openSystemStore(which);
        if (!store) return true;  // unknown: the container is kept
        auto certificates = (*store)->certificates();
        if (!certificates) return true;
        for (const platform::StoredCertificate& installed : *certificates) {
            auto properties = (*store)->properties(installed.id);
            if (!properties) return true;
            if (properties->keyProvInfo &&
                sameContainer(properties->keyProvInfo->containerName, container)) {
                return true;
            }
        }
    }
    return false;
}

}  // namespace

int runInstallCommand(const std::vector<std::string>& args) {
    std::string complaint;
    std::optional<Options> options = parse(args, complaint);
    if (!options) return usage(complaint);

    std::optional<Bytes> der = readBytes(options->certificatePath);
    if (!der || der->empty()) return failure("cannot read " + options->certificatePath);
    const unsigned char* cursor = der->data();
    Certificate certificate(d2i_X509(nullptr, &cursor, long(der->size())));
    if (!certificate || cursor != der->data() + der->size()) {
        return failure(options->certificatePath + " is not a DER certificate");
    }

    std::unique_ptr<platform::Platform> platform =
        platform::makePlatform(platform::StateHome(options->home));
    if (platform->stores() == nullptr || platform->pkcs12() == nullptr) {
        return failure("the platform offers no certificate stores");
    }
    Pkey key;
    if (options->keyPath) {
        key = readPrivateKey(*options->keyPath);
        if (!key) return failure(*options->keyPath + " is not an unencrypted PEM private key");
        if (X509_check_private_key(certificate.get(), key.get()) != 1) {
            return failure(*options->keyPath + " is not the key of " + options->certificatePath);
        }
    }
    auto store = platform->stores()->openSystemStore(options->store);
    if (!store) return failure("cannot open the store");
    // The key's container and the certificate bound to it are kept in one
    // transaction: a process killed in between leaves neither, never a key
    // that no certificate names.
    platform::CertProperties properties;
    std::optional<platform::CertId> added;
    std::string problem;
    platform::Status installed = platform->stores()->changeTogether([&]() -> platform::Status {
        std::optional<platform::KeyProvInfo> earlier;
        if (key) {
            properties.keyProvInfo =
                bindingFromKey(*platform, certificate.get(), key.get(), problem);
            if (!properties.keyProvInfo) return platform::fail(platform::errors::kNteFail);
            earlier = bindingOfInstalled(**store, *der);
        }
        auto stored =
            (*store)->add(*der, properties, platform::AddDisposition::kReplaceInheritProperties);
        if (!stored) {
            problem = "cannot add the certificate (platform error " +
                      std::to_string(stored.error()) + ")";
            return stored.failure();
        }
        added = *stored;
        // Installed again with its key: the container of the earlier install
        // is no one's once no certificate names it any more.
        if (earlier &&
            !sameContainer(earlier->containerName, properties.keyProvInfo->containerName) &&
            !anyCertificateNames(*platform->stores(), earlier->containerName)) {
            platform::Status dropped = platform->keys()->deleteContainer(
                {toAnsi(earlier->containerName), toAnsi(earlier->providerName),
                 earlier->providerType});
            if (!dropped && dropped.error() != platform::errors::kNteBadKeyset) {
                problem = "cannot remove the earlier key (platform error " +
                          std::to_string(dropped.error()) + ")";
                return dropped;
            }
        }
        return platform::Status::success();
    });
    if (!installed) {
        return failure(problem.empty() ? "cannot install (platform error " +
                                             std::to_string(installed.error()) + ")"
                                       : problem);
    }
    std::cout << hex(*(*store)->sha1Hash(*added));
    if (properties.keyProvInfo)
        std::cout << " " << utf16ToUtf8(properties.keyProvInfo->containerName);
    std::cout << "\n";
    return 0;
}

}  // namespace pennaform::testca
