// The PKCS#12 conformance suite: the fixtures of tests/data/pkcs12 (written
// by Windows, NSS and OpenSSL) import with their own password only, and what
// the service writes, by export or by a change of password, reads back with
// the same certificate, friendly name and key.
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "unit/platform/PlatformConformance.h"

namespace pennaform::platform::test {
namespace {

Bytes fixture(const std::string& name) {
    std::ifstream in(std::string(PENNAFORM_TEST_DATA) + "/pkcs12/" + name, std::ios::binary);
    Bytes bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    EXPECT_FALSE(bytes.empty()) << name;
    return bytes;
}

struct Fixture {
    const char* name;
    PfxPassword password;
    // otherPassword: one the integrity check must refuse.
    PfxPassword otherPassword;
};

const std::vector<Fixture> kFixtures = {
    {"windows.p12", u"foo", u"bar"},
    {"nss.p12", u"foo", u"Foo"},
    {"openssl.p12", u"foo", std::nullopt},
    {"pbes2_sha256.p12", u"foo", u""},
    {"empty_password.p12", u"", std::nullopt},
    {"null_password.p12", std::nullopt, u""},
    {"unicode_password.p12", u"Hello, 世界", u"Hello, "},
};

// Imported: what a test compares of an imported file: its one certificate,
// its friendly name and the SubjectPublicKeyInfo of the key it is bound to.
struct Imported {
    Bytes certificate;
    std::optional<std::u16string> friendlyName;
    std::optional<Bytes> keyInfo;
};

Imported readImport(CertificateStore& store) {
    Imported imported;
    auto certificates = store.certificates();
    EXPECT_TRUE(certificates.ok());
    if (!certificates.ok() || certificates->size() != 1) {
        ADD_FAILURE() << "not one certificate";
        return imported;
    }
    const StoredCertificate& certificate = certificates->front();
    imported.certificate = certificate.encoded;
    auto properties = store.properties(certificate.id);
    EXPECT_TRUE(properties.ok());
    if (properties.ok()) imported.friendlyName = properties->friendlyName;
    auto key = store.acquirePrivateKey(certificate.id);
    if (key.ok()) {
        auto info = key->container->publicKeyInfo(key->keySpec);
        EXPECT_TRUE(info.ok()) << std::hex << info.error();
        if (info.ok()) imported.keyInfo = *info;
    }
    return imported;
}

TEST_P(Pkcs12Conformance, FixturesOpenWithTheirOwnPasswordOnly) {
    for (const Fixture& f : kFixtures) {
        SCOPED_TRACE(f.name);
        const Bytes pfx = fixture(f.name);
        EXPECT_TRUE(pkcs12().isPfx(pfx));
        EXPECT_TRUE(pkcs12().verifyPassword(pfx, f.password));
        EXPECT_FALSE(pkcs12().verifyPassword(pfx, f.otherPassword));
        auto store = pkcs12().importPfx(pfx, f.password, 0);
        ASSERT_TRUE(store.ok()) << std::hex << store.error();
        const Imported imported = readImport(**store);
        EXPECT_TRUE(platform_->certificateReader()->parse(imported.certificate).ok());
        EXPECT_TRUE(imported.keyInfo.has_value());
        EXPECT_EQ(pkcs12().importPfx(pfx, PfxPassword(u"wrong"), 0).error(),
                  errors::kErrorInvalidPassword);
    }
    const Bytes windows = fixture("windows.p12");
    const Bytes cut(windows.begin(), windows.begin() + std::ptrdiff_t(windows.size() / 2));
    EXPECT_FALSE(pkcs12().isPfx(cut));
    EXPECT_FALSE(pkcs12().isPfx(Bytes{0x30, 0x00}));
    EXPECT_FALSE(pkcs12().importPfx(cut, PfxPassword(u"foo"), 0).ok());
}

TEST_P(Pkcs12Conformance, WhatItWritesReadsBackTheSame) {
    using namespace pfxExportFlags;
    const std::uint32_t withKeys =
        kExportPrivateKeys | kReportNoPrivateKey | kReportNotAbleToExportPrivateKey;
    for (const Fixture& f : kFixtures) {
        SCOPED_TRACE(f.name);
        const Bytes pfx = fixture(f.name);
        auto store = pkcs12().importPfx(pfx, f.password, pfxImportFlags::kExportable);
        ASSERT_TRUE(store.ok()) << std::hex << store.error();
        const Imported original = readImport(**store);

        auto exported = pkcs12().exportPfx(**store, u"back", withKeys);
        ASSERT_TRUE(exported.ok()) << std::hex << exported.error();
        auto rechanged = pkcs12().changePassword(pfx, f.password, u"new");
        ASSERT_TRUE(rechanged.ok()) << std::hex << rechanged.error();
        auto certificateOnly = pkcs12().exportPfx(**store, u"bare", 0);
        ASSERT_TRUE(certificateOnly.ok()) << std::hex << certificateOnly.error();

        const struct {
            const char* what;
            const Bytes& bytes;
            std::u16string password;
            bool keyKept;
        } written[] = {
            {"exported with its key", *exported, u"back", true},
            {"under a new password", *rechanged, u"new", true},
            {"exported without keys", *certificateOnly, u"bare", false},
        };
        for (const auto& w : written) {
            SCOPED_TRACE(w.what);
            EXPECT_TRUE(pkcs12().isPfx(w.bytes));
            EXPECT_TRUE(pkcs12().verifyPassword(w.bytes, w.password));
            EXPECT_FALSE(pkcs12().verifyPassword(w.bytes, f.password));
            auto back = pkcs12().importPfx(w.bytes, w.password, 0);
            ASSERT_TRUE(back.ok()) << std::hex << back.error();
            const Imported read = readImport(**back);
            EXPECT_EQ(read.certificate, original.certificate);
            EXPECT_EQ(read.friendlyName, original.friendlyName);
            EXPECT_EQ(read.keyInfo, w.keyKept ? original.keyInfo : std::nullopt);
        }
    }
}

TEST_P(Pkcs12Conformance, KeysThatCannotBeExportedAreReportedWhenAsked) {
    auto locked = pkcs12().importPfx(fixture("windows.p12"), PfxPassword(u"foo"), 0);
    ASSERT_TRUE(locked.ok());
    using namespace pfxExportFlags;
    EXPECT_EQ(pkcs12()
                  .exportPfx(**locked, u"x", kExportPrivateKeys | kReportNotAbleToExportPrivateKey)
                  .error(),
              errors::kNteBadKey);
    // Without the report flag the key is left out and the certificate goes.
    auto withoutKey = pkcs12().exportPfx(**locked, u"x", kExportPrivateKeys);
    ASSERT_TRUE(withoutKey.ok()) << std::hex << withoutKey.error();
    auto back = pkcs12().importPfx(*withoutKey, PfxPassword(u"x"), 0);
    ASSERT_TRUE(back.ok());
    EXPECT_FALSE(readImport(**back).keyInfo.has_value());

    auto bare = pkcs12().importPfx(*withoutKey, PfxPassword(u"x"), 0);
    ASSERT_TRUE(bare.ok());
    EXPECT_EQ(pkcs12().exportPfx(**bare, u"x", kExportPrivateKeys | kReportNoPrivateKey).error(),
              errors::kNteNoKey);
}

}  // namespace
}  // namespace pennaform::platform::test
