// The store and key-container conformance cases. Another "process" is a
// second Platform opened over the same state.
#include "KeyStoreConformance.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <vector>

#include "platform/CodePage.h"
#include "support/TestCertificates.h"

namespace pennaform::platform::test {
namespace {

using pennaform::test::digestOf;
using pennaform::test::makeTestIdentity;
using pennaform::test::sha1Of;
using pennaform::test::verifiesPkcs1;

const Bytes& certificate(int which) {
    static const std::vector<Bytes> made = [] {
        std::vector<Bytes> all;
        for (const char* name : {"Alpha", "Beta", "Gamma"}) {
            all.push_back(makeTestIdentity(name, 1024).certificateDer);
        }
        return all;
    }();
    return made.at(std::size_t(which));
}

std::vector<Bytes> encodings(CertificateStore& store) {
    Outcome<std::vector<StoredCertificate>> stored = store.certificates();
    EXPECT_TRUE(stored) << std::hex << stored.error();
    std::vector<Bytes> all;
    if (stored) {
        for (const StoredCertificate& one : *stored) all.push_back(one.encoded);
    }
    return all;
}

KeyProvInfo binding(std::u16string container, KeySpec spec = KeySpec::kKeyExchange) {
    return {std::move(container), u"Microsoft Enhanced RSA and AES Cryptographic Provider",
            providerTypes::kRsaAes, 0, spec};
}

const ContainerRef kAesContainer{
    "conformance", "Microsoft Enhanced RSA and AES Cryptographic Provider", providerTypes::kRsaAes};

// ScriptedKeyDialogs: a dialog host that answers the key-use prompt as told
// and counts the prompts.
class ScriptedKeyDialogs : public PlatformDialogs {
public:
    ScriptedKeyDialogs(PlatformError answer, int* asked) : answer_(answer), asked_(asked) {}
    Outcome<DialogEnd> runModal(ModalDialog&) override { return fail(errors::kErrorNotSupported); }
    void showError(std::string_view, std::string_view) override {}
    Outcome<std::string> chooseFile(const FileChooserRequest&) override {
        return fail(errors::kErrorNotSupported);
    }
    Outcome<std::string> chooseFolder(std::string_view) override {
        return fail(errors::kErrorNotSupported);
    }
    Status viewCertificate(ByteView, std::string_view) override {
        return fail(errors::kErrorNotSupported);
    }
    Status confirmKeyUse(const KeyUseRequest&) override {
        ++*asked_;
        return answer_ == errors::kSuccess ? Status::success() : Status(fail(answer_));
    }

private:
    PlatformError answer_;
    int* asked_;
};

// --- Stores ---

TEST_P(KeyStoreConformance, SystemStoresKeepTheOrderOfAddingAcrossProcesses) {
    auto my = *stores().openSystemStore(SystemStore::kMy);
    EXPECT_TRUE(my->certificates()->empty());
    for (int which : {1, 0, 2}) {
        ASSERT_TRUE(my->add(certificate(which), {}, AddDisposition::kAlways));
    }
    std::vector<Bytes> expected{certificate(1), certificate(0), certificate(2)};
    EXPECT_EQ(encodings(*my), expected);

    auto later = harness_->open();
    auto seen = *later->stores()->openSystemStore(SystemStore::kMy);
    EXPECT_EQ(encodings(*seen), expected);
    // The three system stores are kept apart.
    EXPECT_TRUE((*later->stores()->openSystemStore(SystemStore::kRoot))->certificates()->empty());
    EXPECT_TRUE((*later->stores()->openSystemStore(SystemStore::kCa))->certificates()->empty());
}

TEST_P(KeyStoreConformance, AddAlwaysKeepsDuplicatesAndReplaceKeepsProperties) {
    KeyContext context{
        std::shared_ptr<KeyContainer>(std::move(*keys().createContainer(kAesContainer))),
        KeySpec::kKeyExchange};
    for (bool system : {true, false}) {
        SCOPED_TRACE(system ? "system store" : "memory store");
        auto store =
            system ? *stores().openSystemStore(SystemStore::kCa) : *stores().openMemoryStore();
        CertProperties first;
        first.keyProvInfo = binding(u"first");
        first.friendlyName = u"old name";
        CertId kept = *store->add(certificate(0), first, AddDisposition::kAlways);
        ASSERT_TRUE(store->add(certificate(1), {}, AddDisposition::kAlways));

        CertProperties renamed;
        renamed.friendlyName = u"new name";
        Outcome<CertId> replaced =
            store->add(certificate(0), renamed, AddDisposition::kReplaceInheritProperties);
        ASSERT_TRUE(replaced);
        EXPECT_EQ(*replaced, kept);  // replaced in its place
        EXPECT_EQ(encodings(*store), (std::vector<Bytes>{certificate(0), certificate(1)}));
        CertProperties now = *store->properties(kept);
        EXPECT_EQ(now.keyProvInfo, first.keyProvInfo);  // not set by the new copy: inherited
        EXPECT_EQ(now.friendlyName, u"new name");       // set by the new copy: replaced

        // A new binding does not take over the old binding's cached key.
        ASSERT_TRUE(store->setKeyContext(kept, context));
        CertProperties rebound;
        rebound.keyProvInfo = binding(u"second");
        ASSERT_TRUE(store->add(certificate(0), rebound, AddDisposition::kReplaceInheritProperties));
        EXPECT_FALSE(store->properties(kept)->keyContext.has_value());
        EXPECT_EQ(store->properties(kept)->keyProvInfo, binding(u"second"));

        // No match: the certificate is simply added, last.
        ASSERT_TRUE(store->add(certificate(2), {}, AddDisposition::kReplaceInheritProperties));
        ASSERT_TRUE(store->add(certificate(2), {}, AddDisposition::kAlways));
        EXPECT_EQ(encodings(*store), (std::vector<Bytes>{certificate(0), certificate(1),
                                                         certificate(2), certificate(2)}));
    }
}

TEST_P(KeyStoreConformance, FindBySha1GivesTheFirstCertificateOfThatHash) {
    for (bool system : {true, false}) {
        SCOPED_TRACE(system ? "system store" : "memory store");
        auto store =
            system ? *stores().openSystemStore(SystemStore::kMy) : *stores().openMemoryStore();
        ASSERT_TRUE(store->add(certificate(1), {}, AddDisposition::kAlways));
        CertId first = *store->add(certificate(0), {}, AddDisposition::kAlways);
        ASSERT_TRUE(store->add(certificate(0), {}, AddDisposition::kAlways));  // a duplicate

        Outcome<StoredCertificate> found = store->findBySha1(sha1Of(certificate(0)));
        ASSERT_TRUE(found) << std::hex << found.error();
        EXPECT_EQ(found->id, first);
        EXPECT_EQ(found->encoded, certificate(0));

        Bytes prefix = sha1Of(certificate(0));
        prefix.pop_back();
        for (const Bytes& missing : {sha1Of(certificate(2)), prefix, Bytes{}}) {
            EXPECT_EQ(store->findBySha1(missing).error(), errors::kCryptENotFound);
        }
        // Removed: the duplicate is found in its place.
        ASSERT_TRUE(store->remove(first));
        EXPECT_NE(store->findBySha1(sha1Of(certificate(0)))->id, first);
    }
    // Another process finds what this one added.
    std::unique_ptr<Platform> process = harness_->open();
    auto other = *process->stores()->openSystemStore(SystemStore::kMy);
    EXPECT_TRUE(other->findBySha1(sha1Of(certificate(1))));
}

TEST_P(KeyStoreConformance, DeleteRemovesOneCertificateForEveryone) {
    auto my = *stores().openSystemStore(SystemStore::kMy);
    CertId a = *my->add(certificate(0), {}, AddDisposition::kAlways);
    CertId b = *my->add(certificate(1), {}, AddDisposition::kAlways);
    ASSERT_TRUE(my->remove(a));
    EXPECT_EQ(my->remove(a).error(), errors::kCryptENotFound);
    EXPECT_EQ(my->properties(a).error(), errors::kCryptENotFound);
    EXPECT_EQ(encodings(*my), std::vector<Bytes>{certificate(1)});

    auto other = *harness_->open()->stores()->openSystemStore(SystemStore::kMy);
    EXPECT_EQ(encodings(*other), std::vector<Bytes>{certificate(1)});
    ASSERT_TRUE(other->remove(b));
    EXPECT_TRUE(my->certificates()->empty());

    auto memory = *stores().openMemoryStore();
    CertId m = *memory->add(certificate(2), {}, AddDisposition::kAlways);
    ASSERT_TRUE(memory->remove(m));
    EXPECT_EQ(memory->remove(m).error(), errors::kCryptENotFound);
}

TEST_P(KeyStoreConformance, PropertiesArePersistedAndTheHashIsTheEncodingsSha1) {
    auto my = *stores().openSystemStore(SystemStore::kMy);
    CertId id = *my->add(certificate(0), {}, AddDisposition::kAlways);
    EXPECT_EQ(*my->sha1Hash(id), sha1Of(certificate(0)));
    CertProperties none = *my->properties(id);
    EXPECT_FALSE(none.keyProvInfo || none.friendlyName || none.keyContext);

    ASSERT_TRUE(
        my->setKeyProvInfo(id, binding(u"{C0FFEE}", KeySpec::kSignature), PropertyScope::kPersist));
    ASSERT_TRUE(my->setFriendlyName(id, u"名稱"));
    auto other = *harness_->open()->stores()->openSystemStore(SystemStore::kMy);
    CertProperties seen = *other->properties(id);
    EXPECT_EQ(seen.keyProvInfo, binding(u"{C0FFEE}", KeySpec::kSignature));
    EXPECT_EQ(seen.friendlyName, u"名稱");
    EXPECT_EQ(*other->sha1Hash(id), sha1Of(certificate(0)));
}

TEST_P(KeyStoreConformance, AMemoryOnlyPropertyStaysWithOneStoreObject) {
    auto first = *stores().openSystemStore(SystemStore::kMy);
    CertProperties persisted;
    persisted.keyProvInfo = binding(u"persisted");
    CertId id = *first->add(certificate(0), persisted, AddDisposition::kAlways);

    ASSERT_TRUE(first->setKeyProvInfo(id, binding(u"just once"), PropertyScope::kMemoryOnly));
    EXPECT_EQ(first->properties(id)->keyProvInfo, binding(u"just once"));
    auto second = *stores().openSystemStore(SystemStore::kMy);
    EXPECT_EQ(second->properties(id)->keyProvInfo, binding(u"persisted"));
    auto elsewhere = *harness_->open()->stores()->openSystemStore(SystemStore::kMy);
    EXPECT_EQ(elsewhere->properties(id)->keyProvInfo, binding(u"persisted"));

    // A key context is never persisted either.
    auto container = keys().createContainer(kAesContainer);
    ASSERT_TRUE(container);
    KeyContext context{std::shared_ptr<KeyContainer>(std::move(*container)), KeySpec::kSignature};
    ASSERT_TRUE(second->setKeyContext(id, context));
    EXPECT_TRUE(second->properties(id)->keyContext.has_value());
    EXPECT_FALSE(first->properties(id)->keyContext.has_value());
    EXPECT_FALSE((*stores().openSystemStore(SystemStore::kMy))->properties(id)->keyContext);
    // Rebinding drops the context of the old binding.
    ASSERT_TRUE(second->setKeyProvInfo(id, binding(u"other"), PropertyScope::kMemoryOnly));
    EXPECT_FALSE(second->properties(id)->keyContext.has_value());
}

TEST_P(KeyStoreConformance, OnlyWholeCertificatesAreAdded) {
    auto my = *stores().openSystemStore(SystemStore::kMy);
    Bytes cut(certificate(0).begin(), certificate(0).end() - 1);
    Bytes longer = certificate(0);
    longer.push_back(0);
    for (const Bytes& bad : {Bytes{}, Bytes{0x04, 0x01, 0x00}, cut, longer}) {
        Outcome<CertId> added = my->add(bad, {}, AddDisposition::kAlways);
        ASSERT_FALSE(added);
        EXPECT_TRUE((added.error() & 0xFFFFFF00u) == 0x80093100u ||
                    added.error() == errors::kCryptEBadEncode)
            << std::hex << added.error();
    }
    EXPECT_TRUE(my->certificates()->empty());
}

TEST_P(KeyStoreConformance, PrivateKeyComesFromTheBoundContainer) {
    auto my = *stores().openSystemStore(SystemStore::kMy);
    CertId unbound = *my->add(certificate(0), {}, AddDisposition::kAlways);
    EXPECT_EQ(my->acquirePrivateKey(unbound).error(), errors::kCryptENoKeyProperty);

    CertProperties missing;
    missing.keyProvInfo = binding(u"no such container");
    CertId dangling = *my->add(certificate(1), missing, AddDisposition::kAlways);
    EXPECT_EQ(my->acquirePrivateKey(dangling).error(), errors::kNteBadKeyset);

    auto container = *keys().createContainer(kAesContainer);
    ASSERT_TRUE(container->generateKeyPair(KeySpec::kSignature, 1024, 0));
    CertProperties bound;
    bound.keyProvInfo = binding(u"CONFORMANCE", KeySpec::kSignature);  // names ignore case
    CertId id = *my->add(certificate(2), bound, AddDisposition::kAlways);
    Outcome<KeyContext> key = my->acquirePrivateKey(id);
    ASSERT_TRUE(key);
    EXPECT_EQ(key->keySpec, KeySpec::kSignature);
    EXPECT_TRUE(my->properties(id)->keyContext.has_value());  // cached on the certificate
    Bytes digest = digestOf("SHA256", "signed through the store");
    Outcome<Bytes> signature =
        key->container->signHash(KeySpec::kSignature, algorithms::kSha256, digest);
    ASSERT_TRUE(signature);
    std::reverse(signature->begin(), signature->end());
    EXPECT_TRUE(verifiesPkcs1(*container->publicKeyInfo(KeySpec::kSignature), "SHA256", digest,
                              *signature));
}

// --- Key containers ---

TEST_P(KeyStoreConformance, OneContainerNamespaceForEveryProvider) {
    ASSERT_TRUE(keys().createContainer(kAesContainer));
    EXPECT_EQ(keys().createContainer(kAesContainer).error(), errors::kNteExists);
    EXPECT_EQ(keys().createContainer({"CONFORMANCE", "", providerTypes::kRsaFull}).error(),
              errors::kNteExists);
    std::vector<ProviderInfo> providers = keys().providers();
    ASSERT_EQ(providers.size(), 5u);
    for (const ProviderInfo& provider : providers) {
        auto opened = keys().openContainer({"Conformance", provider.name, provider.type});
        ASSERT_TRUE(opened) << provider.name;
        EXPECT_EQ((*opened)->providerName(), provider.name);
        EXPECT_EQ((*opened)->name(), "conformance");  // as it was made
    }
    auto defaulted = *keys().openContainer({"conformance", "", providerTypes::kRsaFull});
    EXPECT_EQ(defaulted->providerName(), "Microsoft Strong Cryptographic Provider");

    EXPECT_TRUE(harness_->open()->keys()->openContainer(kAesContainer));
    ASSERT_TRUE(keys().deleteContainer({"conformance", providers[0].name, providers[0].type}));
    EXPECT_EQ(keys().openContainer(kAesContainer).error(), errors::kNteBadKeyset);
    EXPECT_EQ(keys().deleteContainer(kAesContainer).error(), errors::kNteBadKeyset);
}

TEST_P(KeyStoreConformance, ProvidersAreCheckedAsTheyAreOnAcquiring) {
    EXPECT_EQ(keys().openContainer({"c", "", 0}).error(), errors::kNteBadProvType);
    EXPECT_EQ(keys().openContainer({"c", "", 1000}).error(), errors::kNteBadProvType);
    EXPECT_EQ(keys().openContainer({"c", "", 12}).error(), errors::kNteProvTypeNotDef);
    EXPECT_EQ(keys().openContainer({"c", "No Such Provider", 1}).error(), errors::kNteKeysetNotDef);
    EXPECT_EQ(keys().openContainer({"c", "Microsoft Strong Cryptographic Provider", 24}).error(),
              errors::kNteProvTypeNoMatch);
    EXPECT_EQ(keys().openContainer({"c", "", 1}).error(), errors::kNteBadKeyset);
}

TEST_P(KeyStoreConformance, KeysAreHeldBySpecWithWindowsBlobs) {
    auto container = *keys().createContainer(kAesContainer);
    EXPECT_EQ(container->userKey(KeySpec::kKeyExchange).error(), errors::kNteNoKey);
    EXPECT_EQ(container->generateKeyPair(KeySpec::kKeyExchange, 1020, 0).error(),
              errors::kNteBadFlags);
    EXPECT_EQ(container->generateKeyPair(KeySpec::kKeyExchange, 376, 0).error(),
              errors::kNteBadFlags);
    ASSERT_TRUE(container->generateKeyPair(KeySpec::kKeyExchange, 2048, 0));
    EXPECT_EQ(container->userKey(KeySpec::kSignature).error(), errors::kNteNoKey);
    ASSERT_TRUE(container->generateKeyPair(KeySpec::kSignature, 0, 0));  // provider default

    Bytes exchange = *(*container->userKey(KeySpec::kKeyExchange))->exportPublicKeyBlob();
    ASSERT_EQ(exchange.size(), 20u + 256u);
    EXPECT_EQ(Bytes(exchange.begin(), exchange.begin() + 20),
              (Bytes{0x06, 0x02, 0x00, 0x00, 0x00, 0xA4, 0x00, 0x00, 0x52, 0x53,
                     0x41, 0x31, 0x00, 0x08, 0x00, 0x00, 0x01, 0x00, 0x01, 0x00}));
    Bytes signature = *(*container->userKey(KeySpec::kSignature))->exportPublicKeyBlob();
    ASSERT_EQ(signature.size(), 20u + 128u);  // 1024 bits: the default
    EXPECT_EQ(signature[5], 0x24);            // CALG_RSA_SIGN
    EXPECT_NE(Bytes(exchange.begin() + 20, exchange.end()),
              Bytes(signature.begin() + 20, signature.end()));

    // Another process finds both keys, with the flags they were made with.
    auto again = *harness_->open()->keys()->openContainer(kAesContainer);
    EXPECT_EQ(*(*again->userKey(KeySpec::kKeyExchange))->exportPublicKeyBlob(), exchange);
    EXPECT_EQ((*again->userKey(KeySpec::kKeyExchange))->exportPrivateKeyBlob().error(),
              errors::kNteBadKeyState);
}

TEST_P(KeyStoreConformance, ExportFollowsTheFlagsTheKeyWasMadeWith) {
    auto container = *keys().createContainer(kAesContainer);
    auto exportable =
        *container->generateKeyPair(KeySpec::kKeyExchange, 1024, keyFlags::kExportable);
    const SecretBytes secret = *exportable->exportPrivateKeyBlob();
    const ByteView blob = secret.view();
    ASSERT_EQ(blob.size(), 596u);  // 20 + 2 * 128 + 5 * 64
    EXPECT_EQ(Bytes(blob.begin(), blob.begin() + 12),
              (Bytes{0x07, 0x02, 0x00, 0x00, 0x00, 0xA4, 0x00, 0x00, 0x52, 0x53, 0x41, 0x32}));
    // After the header the private blob repeats the public one ("RSA2" for
    // "RSA1"): bit length, exponent, modulus.
    Bytes expected = *exportable->exportPublicKeyBlob();
    expected[0] = 0x07;
    expected[11] = 0x32;
    EXPECT_EQ(Bytes(blob.begin(), blob.begin() + 148), expected);
    EXPECT_TRUE((*container->userKey(KeySpec::kKeyExchange))->exportPrivateKeyBlob());

    // Archivable: only the handle that made it, and only while it lives.
    auto archivable = *container->generateKeyPair(KeySpec::kSignature, 1024, keyFlags::kArchivable);
    EXPECT_EQ((*container->userKey(KeySpec::kSignature))->exportPrivateKeyBlob().error(),
              errors::kNteBadKeyState);
    EXPECT_TRUE(archivable->exportPrivateKeyBlob());
    archivable.reset();
    EXPECT_EQ((*container->userKey(KeySpec::kSignature))->exportPrivateKeyBlob().error(),
              errors::kNteBadKeyState);
    EXPECT_TRUE((*container->userKey(KeySpec::kSignature))->exportPublicKeyBlob());
}

TEST_P(KeyStoreConformance, SignaturesVerifyWithOpenSsl) {
    auto aes = *keys().createContainer(kAesContainer);
    ASSERT_TRUE(aes->generateKeyPair(KeySpec::kKeyExchange, 2048, 0));
    Bytes publicKey = *aes->publicKeyInfo(KeySpec::kKeyExchange);
    struct Case {
        AlgId algorithm;
        const char* digest;
    };
    for (Case c : {Case{algorithms::kMd5, "MD5"}, Case{algorithms::kSha1, "SHA1"},
                   Case{algorithms::kSha256, "SHA256"}, Case{algorithms::kSha384, "SHA384"},
                   Case{algorithms::kSha512, "SHA512"}}) {
        SCOPED_TRACE(c.digest);
        Bytes digest = digestOf(c.digest, "the text");
        Bytes signature = *aes->signHash(KeySpec::kKeyExchange, c.algorithm, digest);
        ASSERT_EQ(signature.size(), 256u);
        std::reverse(signature.begin(), signature.end());  // it comes least significant first
        EXPECT_TRUE(verifiesPkcs1(publicKey, c.digest, digest, signature));
    }
    Bytes sha1 = digestOf("SHA1", "x");
    EXPECT_EQ(aes->signHash(KeySpec::kKeyExchange, algorithms::kSha1, Bytes(19)).error(),
              errors::kNteBadLen);
    EXPECT_EQ(aes->signHash(KeySpec::kKeyExchange, algorithms::kDes, sha1).error(),
              errors::kNteBadAlgId);
    EXPECT_EQ(aes->signHash(KeySpec::kSignature, algorithms::kSha1, sha1).error(),
              errors::kNteNoKey);

    // The same key through a type-1 provider: no SHA-2, SHA-1 as before.
    auto full = *keys().openContainer(
        {"conformance", "Microsoft Enhanced Cryptographic Provider v1.0", providerTypes::kRsaFull});
    EXPECT_EQ(
        full->signHash(KeySpec::kKeyExchange, algorithms::kSha256, digestOf("SHA256", "x")).error(),
        errors::kNteBadAlgId);
    Bytes signature = *full->signHash(KeySpec::kKeyExchange, algorithms::kSha1, sha1);
    std::reverse(signature.begin(), signature.end());
    EXPECT_TRUE(verifiesPkcs1(publicKey, "SHA1", sha1, signature));
}

TEST_P(KeyStoreConformance, AUserProtectedKeyAsksAtEveryUse) {
    auto container = *keys().createContainer(kAesContainer);
    constexpr std::uint32_t kProtected = keyFlags::kUserProtected | keyFlags::kExportable;
    // Made only when the user can be asked, and asked once: the maker's
    // handle then reads the key back without a second question.
    platform_->installDialogs(nullptr);
    EXPECT_EQ(container->generateKeyPair(KeySpec::kSignature, 1024, kProtected).error(),
              errors::kNteSilentContext);
    int asked = 0;
    platform_->installDialogs(std::make_unique<ScriptedKeyDialogs>(errors::kSuccess, &asked));
    auto made = container->generateKeyPair(KeySpec::kSignature, 1024, kProtected);
    ASSERT_TRUE(made);
    EXPECT_TRUE((*made)->exportPrivateKeyBlob());
    EXPECT_EQ(asked, 1);
    asked = 0;

    Bytes digest = digestOf("SHA1", "x");
    platform_->installDialogs(nullptr);
    EXPECT_EQ(container->signHash(KeySpec::kSignature, algorithms::kSha1, digest).error(),
              errors::kNteSilentContext);

    platform_->installDialogs(
        std::make_unique<ScriptedKeyDialogs>(errors::kErrorCancelled, &asked));
    EXPECT_EQ(container->signHash(KeySpec::kSignature, algorithms::kSha1, digest).error(),
              errors::kErrorCancelled);
    EXPECT_EQ((*container->userKey(KeySpec::kSignature))->exportPrivateKeyBlob().error(),
              errors::kErrorCancelled);
    EXPECT_EQ(asked, 2);

    platform_->installDialogs(std::make_unique<ScriptedKeyDialogs>(errors::kSuccess, &asked));
    EXPECT_TRUE(container->signHash(KeySpec::kSignature, algorithms::kSha1, digest));
    EXPECT_TRUE(container->signHash(KeySpec::kSignature, algorithms::kSha1, digest));
    EXPECT_TRUE((*container->userKey(KeySpec::kSignature))->exportPublicKeyBlob());  // never asks
    EXPECT_EQ(asked, 4);
}

// --- Keys imported from a PFX file ---

Bytes pfxFixture(const char* name) {
    std::ifstream in(std::string(PENNAFORM_TEST_DATA) + "/pkcs12/" + name, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

ContainerRef containerOf(const KeyProvInfo& binding) {
    return {toAnsi(binding.containerName), toAnsi(binding.providerName), binding.providerType};
}

// KeyUses: what one imported key does when it signs and is exported.
struct KeyUses {
    Bytes signature;
    PlatformError exportError = 0;
    Bytes exported;
    int asked = 0;
    friend bool operator==(const KeyUses&, const KeyUses&) = default;
};

TEST_P(KeyStoreConformance, MemoryOnlyImportedKeysWorkAsPersistedOnesInThisProcessOnly) {
    Pkcs12* pkcs12 = platform_->pkcs12();
    ASSERT_NE(pkcs12, nullptr);
    const Bytes pfx = pfxFixture("windows.p12");
    ASSERT_FALSE(pfx.empty());
    const Bytes digest = digestOf("SHA1", "imported");
    int asked = 0;
    platform_->installDialogs(std::make_unique<ScriptedKeyDialogs>(errors::kSuccess, &asked));
    auto use = [&](KeyContext& key) {
        KeyUses uses;
        int before = asked;
        Outcome<Bytes> signature = key.container->signHash(key.keySpec, algorithms::kSha1, digest);
        EXPECT_TRUE(signature) << std::hex << signature.error();
        uses.signature = signature.valueOr(Bytes{});
        std::reverse(uses.signature.begin(), uses.signature.end());
        EXPECT_TRUE(verifiesPkcs1(*key.container->publicKeyInfo(key.keySpec), "SHA1", digest,
                                  uses.signature));
        Outcome<SecretBytes> exported =
            (*key.container->userKey(key.keySpec))->exportPrivateKeyBlob();
        uses.exportError = exported.error();
        if (exported) uses.exported.assign(exported->view().begin(), exported->view().end());
        uses.asked = asked - before;
        return uses;
    };
    using namespace pfxImportFlags;
    for (std::uint32_t flags : {0u, kExportable, kExportable | kUserProtected}) {
        SCOPED_TRACE(flags);
        auto persisted = pkcs12->importPfx(pfx, PfxPassword(u"foo"), flags);
        auto memory = pkcs12->importPfx(pfx, PfxPassword(u"foo"), flags | kNoPersistKey);
        ASSERT_TRUE(persisted && memory) << std::hex << persisted.error() << " " << memory.error();
        CertId persistedId = (*(*persisted)->certificates())[0].id;
        CertId memoryId = (*(*memory)->certificates())[0].id;
        KeyProvInfo binding = *(*(*memory)->properties(memoryId)).keyProvInfo;
        KeyContext persistedKey = *(*persisted)->acquirePrivateKey(persistedId);
        KeyContext memoryKey = *(*memory)->acquirePrivateKey(memoryId);

        KeyUses expected = use(persistedKey);
        EXPECT_EQ(use(memoryKey), expected);
        EXPECT_EQ(expected.exportError,
                  flags & kExportable ? errors::kSuccess : errors::kNteBadKeyState);
        EXPECT_EQ(expected.asked, flags & kUserProtected ? 2 : 0);

        // One namespace with the persisted containers, but another process
        // finds nothing, even of a key made in the container later.
        EXPECT_EQ(keys().createContainer(containerOf(binding)).error(), errors::kNteExists);
        ASSERT_TRUE(memoryKey.container->generateKeyPair(KeySpec::kSignature, 1024, 0));
        auto other = harness_->open();
        EXPECT_TRUE(other->keys()->openContainer(
            containerOf(*(*(*persisted)->properties(persistedId)).keyProvInfo)));
        EXPECT_EQ(other->keys()->openContainer(containerOf(binding)).error(),
                  errors::kNteBadKeyset);

        // Deleting it ends it for every handle.
        ASSERT_TRUE(keys().deleteContainer(containerOf(binding)));
        EXPECT_EQ(keys().openContainer(containerOf(binding)).error(), errors::kNteBadKeyset);
        EXPECT_EQ(
            memoryKey.container->signHash(memoryKey.keySpec, algorithms::kSha1, digest).error(),
            errors::kNteBadKeyset);
        EXPECT_EQ(keys().deleteContainer(containerOf(binding)).error(), errors::kNteBadKeyset);
    }
}

}  // namespace
}  // namespace pennaform::platform::test
