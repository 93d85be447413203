// The store searches on certificates made by the test CA, in a memory store
// of the POSIX backend: which certificate each filter, mode, key usage,
// validity check and best-of rule chooses, and which code a miss reports.
#include "certificates/CertificateSearch.h"

#include <gtest/gtest.h>

#include "certificates/CertWrapper.h"
#include "encoding/ErrorTable.h"
#include "engine/Engine.h"
#include "platform/FileTimes.h"
#include "support/TemporaryFolder.h"
#include "support/TestCa.h"
#include "unit/certificates/CertificateTestSupport.h"

namespace pennaform::signing {
namespace {

using platform::Bytes;
using platform::StoredCertificate;
using Names = std::vector<std::string>;

constexpr std::int32_t kItemMode = searchFlags::kItemMode;
constexpr std::int32_t kCheckValidity = searchFlags::kCheckValidity;
constexpr std::int32_t kBestOnly = searchFlags::kBestOnly;

// Outcome: what one search answered: its code and the common names of the
// certificates it returned, in order.
struct Outcome {
    std::int32_t code;
    Names names;
    friend bool operator==(const Outcome&, const Outcome&) = default;
    friend std::ostream& operator<<(std::ostream& out, const Outcome& outcome) {
        out << outcome.code << " [";
        for (const std::string& name : outcome.names) out << name << ";";
        return out << "]";
    }
};

Outcome found(std::initializer_list<const char*> names) {
    return {codes::kSuccess, Names(names.begin(), names.end())};
}
Outcome missed(std::int32_t code) {
    return {code, {}};
}

platform::FileTime utc(int year, int month, int day) {
    return platform::systemTimeToFileTime({year, month, day, 12, 0, 0, 0}).value();
}

class CertificateSearchTest : public ::testing::Test {
protected:
    CertificateSearchTest() : engine_(EngineConfig{folder_.sub("home"), false}) {
        store_ = std::move(*engine_.platform().stores()->openMemoryStore());
        EXPECT_TRUE(ca_.certificate(
            "root", {"--ca", "--subject", "/C=TW/O=Test Root/CN=Test CA", "--key-bits", "1024"}));
    }

    // add: a certificate issued by the test root (sharing its key, which
    // nothing here looks at), added to the store.
    void add(const std::string& subject, std::vector<std::string> options = {}) {
        const std::string name = "cert" + std::to_string(made_++);
        options.insert(options.end(),
                       {"--subject", subject, "--issuer-cert", ca_.path("root.der"), "--issuer-key",
                        ca_.path("root.key.pem"), "--key", ca_.path("root.key.pem")});
        addDer(make(name, options));
    }
    // addSelfSigned: a certificate issued by itself.
    void addSelfSigned(const std::string& subject) {
        addDer(make("self" + std::to_string(made_++),
                    {"--subject", subject, "--key", ca_.path("root.key.pem")}));
    }
    void addRoot() { addDer(readBinary(ca_.path("root.der"))); }

    Outcome first(std::string_view filter, std::int32_t flags = 0, std::int32_t keyUsage = 0,
                  std::optional<platform::FileTime> at = std::nullopt) {
        return run(&CertificateSearch::findFirstMatch, filter, flags, keyUsage, at);
    }
    Outcome all(std::string_view filter, std::int32_t flags = 0, std::int32_t keyUsage = 0,
                std::optional<platform::FileTime> at = std::nullopt) {
        return run(&CertificateSearch::findMatches, filter, flags, keyUsage, at);
    }

    platform::Platform& platform() { return engine_.platform(); }

    test::TemporaryFolder folder_;
    Engine engine_;
    std::unique_ptr<platform::CertificateStore> store_;
    test::TestCa ca_;

private:
    using Search = std::int32_t (CertificateSearch::*)(std::vector<StoredCertificate>*,
                                                       const SearchRequest&);

    Outcome run(Search search, std::string_view filter, std::int32_t flags, std::int32_t keyUsage,
                std::optional<platform::FileTime> at) {
        CertificateSearch searcher(platform(), store_.get(), CodePage(CodePage::kUtf8));
        // Whatever the list holds on entry is dropped.
        std::vector<StoredCertificate> matches{StoredCertificate{99, Bytes{1, 2, 3}}};
        Outcome outcome{(searcher.*search)(&matches, {filter, flags, keyUsage, at}), {}};
        for (const StoredCertificate& match : matches) {
            outcome.names.push_back(CertWrapper(platform(), match.encoded).subjectCN());
        }
        return outcome;
    }

    Bytes make(const std::string& name, const std::vector<std::string>& options) {
        std::optional<Bytes> der = ca_.certificate(name, options);
        EXPECT_TRUE(der.has_value()) << ca_.lastError();
        return der.value_or(Bytes());
    }
    static Bytes readBinary(const std::string& path) { return test::readBinaryFile(path); }
    void addDer(const Bytes& der) {
        ASSERT_TRUE(store_->add(der, {}, platform::AddDisposition::kAlways).ok());
    }

    int made_ = 0;
};

// The same answer from both searches, in both modes.
#define EXPECT_BOTH_SEARCHES(filter, flags, expected)         \
    do {                                                      \
        EXPECT_EQ(first(filter, flags), expected) << "first"; \
        EXPECT_EQ(all(filter, flags), expected) << "all";     \
    } while (false)

TEST_F(CertificateSearchTest, FiltersTooShortToHoldAnAlternativeChooseTheFirstEndEntity) {
    addRoot();
    add("/C=TW/O=Sub CA/CN=Intermediate", {"--ca"});
    addSelfSigned("/C=TW/CN=Self");
    add("/C=TW/O=Example Bank/CN=Wang");
    add("/C=TW/O=Example Bank/CN=Li");
    for (const char* filter : {"", "S", "S_C", "S//"}) {
        SCOPED_TRACE(filter);
        for (std::int32_t mode : {0, kItemMode}) {
            EXPECT_EQ(first(filter, mode), found({"Wang"}));
            EXPECT_EQ(all(filter, mode), found({"Wang", "Li"}));
        }
    }
}

TEST_F(CertificateSearchTest, AuthoritiesAreNeverOffered) {
    addRoot();
    addSelfSigned("/C=TW/O=Example Bank/CN=Wang");
    add("/C=TW/O=Example Bank/CN=Wang CRL", {"--key-usage", "cRLSign,digitalSignature"});
    add("/C=TW/O=Example Bank/CN=Wang CA", {"--key-usage", "keyCertSign"});
    for (std::int32_t mode : {0, kItemMode}) {
        EXPECT_BOTH_SEARCHES("", mode, missed(codes::kCertificateNotFound));
        EXPECT_BOTH_SEARCHES("S_CN=Wang", mode, missed(codes::kCertificateNotFound));
    }
}

TEST_F(CertificateSearchTest, AnyAlternativeMaySelect) {
    addRoot();
    add("/C=TW/O=Example Bank/CN=Wang");
    add("/C=TW/O=Example Bank/CN=Li");
    EXPECT_BOTH_SEARCHES("S_CN=Wang//I_CN=Nobody", kItemMode, found({"Wang"}));
    EXPECT_EQ(all("S_CN=Wang//I_CN=Test CA", kItemMode), found({"Wang", "Li"}));
    EXPECT_EQ(first("S_CN=Li//S_CN=Wang", kItemMode), found({"Wang"}));
    // Name-driven, the issuer's country and organisation must be named too.
    EXPECT_BOTH_SEARCHES("S_C=TW,S_O=Example Bank,S_CN=Li//I_CN=Test CA", 0, found({"Li"}));
    EXPECT_EQ(all("S_C=TW,S_O=Example Bank,S_CN=Li//I_C=TW,I_O=Test Root,I_CN=Test CA", 0),
              found({"Wang", "Li"}));
}

TEST_F(CertificateSearchTest, NameDrivenModeNeedsEveryPartOfTheName) {
    add("/C=TW/O=Example Bank/CN=Wang/emailAddress=wang@example.com");
    EXPECT_BOTH_SEARCHES("S_CN=Wang", 0, missed(codes::kCertificateNotFound));
    EXPECT_BOTH_SEARCHES("S_O=Example Bank,S_CN=Wang", 0, missed(codes::kCertificateNotFound));
    EXPECT_BOTH_SEARCHES("S_C=TW,S_O=Example Bank,S_CN=Wa", 0, found({"Wang"}));
    EXPECT_BOTH_SEARCHES("S_C=TW,S_O=Example Bank,S_OU=Retail,S_CN=Wang", 0, found({"Wang"}));
    EXPECT_BOTH_SEARCHES("S_C=TW, S_O=Example, S_CN=Wang", 0, missed(codes::kCertificateNotFound));
}

TEST_F(CertificateSearchTest, ItemModeMeetsEachCriterion) {
    add("/C=TW/O=Example Bank/CN=Wang/emailAddress=wang@example.com", {"--serial", "0A1B2C"});
    EXPECT_BOTH_SEARCHES("S_CN=Wang", kItemMode, found({"Wang"}));
    EXPECT_BOTH_SEARCHES("S_O=Example%", kItemMode, found({"Wang"}));
    EXPECT_BOTH_SEARCHES("S_O=Example", kItemMode, missed(codes::kCertificateNotFound));
    EXPECT_BOTH_SEARCHES("S_SN=0a1b2c", kItemMode, found({"Wang"}));
    EXPECT_BOTH_SEARCHES("S_SN=0a1b2", kItemMode, missed(codes::kCertificateNotFound));
    EXPECT_BOTH_SEARCHES("S_E=wang@example.com", kItemMode, missed(codes::kCertificateNotFound));
    EXPECT_BOTH_SEARCHES("S_CN=Wang,S_E=wang@example.com", kItemMode, found({"Wang"}));
    EXPECT_BOTH_SEARCHES("S_CN=Wang,I_CN=Test", kItemMode, found({"Wang"}));
    EXPECT_BOTH_SEARCHES("S_CN=Wang,I_O=Other", kItemMode, missed(codes::kCertificateNotFound));
}

TEST_F(CertificateSearchTest, SpacesAndCommasInFilterValues) {
    add("/C=TW/O=Example Bank, Taipei/CN=Chen");
    add("/C=TW/O=Example Bank/CN=Wang");
    EXPECT_BOTH_SEARCHES("S_O = Example Bank", kItemMode, found({"Wang"}));
    EXPECT_BOTH_SEARCHES("S_O=Example Bank, Taipei", kItemMode, found({"Chen"}));
    EXPECT_BOTH_SEARCHES("S_C=TW,S_O=Example Bank, Taipei,S_CN=Chen", 0, found({"Chen"}));
}

TEST_F(CertificateSearchTest, KeyUsageMustHoldEveryRequestedBit) {
    add("/C=TW/O=Example Bank/CN=Bare", {"--key-usage", "none"});
    EXPECT_EQ(first("", 0, 0x80), missed(codes::kWrongKeyUsage));
    EXPECT_EQ(all("", 0, 0x80), missed(codes::kWrongKeyUsage));
    EXPECT_EQ(first("", 0, 0), found({"Bare"}));
    EXPECT_EQ(first("", 0, -1), found({"Bare"}));
    add("/C=TW/O=Example Bank/CN=Signer", {"--key-usage", "digitalSignature"});
    EXPECT_EQ(first("", 0, 0x80), found({"Signer"}));
    EXPECT_EQ(all("", 0, 0xA0), missed(codes::kWrongKeyUsage));
    // A wrong key usage is reported even when the filter would refuse the
    // certificate too: usage is checked first.
    EXPECT_EQ(first("S_CN=Nobody", kItemMode, 0x20), missed(codes::kWrongKeyUsage));
}

TEST_F(CertificateSearchTest, ValidityAtTheCompareTime) {
    add("/C=TW/O=Example Bank/CN=Old",
        {"--not-before", "20190101000000Z", "--not-after", "20201231235959Z"});
    EXPECT_EQ(first("", kCheckValidity), missed(codes::kCertificateExpired));
    EXPECT_EQ(all("", kCheckValidity), missed(codes::kCertificateExpired));
    EXPECT_EQ(first("", 0), found({"Old"}));
    EXPECT_EQ(first("", kCheckValidity, 0, utc(2020, 6, 1)), found({"Old"}));
    EXPECT_EQ(first("", kCheckValidity, 0, utc(2018, 6, 1)),
              missed(codes::kCertificateNotYetValid));
    // An expired match followed by one the filter refuses: still 5011.
    add("/C=TW/O=Example Bank/CN=Other");
    EXPECT_EQ(first("S_CN=Old", kCheckValidity | kItemMode), missed(codes::kCertificateExpired));
    add("/C=TW/O=Example Bank/CN=Old but renewed",
        {"--not-before", "20240101000000Z", "--not-after", "20991231235959Z"});
    EXPECT_EQ(first("S_CN=Old", kCheckValidity | kItemMode), found({"Old but renewed"}));
    EXPECT_EQ(all("S_CN=Old", kCheckValidity | kItemMode), found({"Old but renewed"}));
}

TEST_F(CertificateSearchTest, FindMatchesReportsRejectionsOnlyBeforeTheFirstMatch) {
    add("/C=TW/O=Example Bank/CN=Current");
    add("/C=TW/O=Example Bank/CN=Future",
        {"--not-before", "20990101000000Z", "--not-after", "20991231235959Z"});
    EXPECT_EQ(all("", kCheckValidity), found({"Current"}));
    EXPECT_EQ(all("S_CN=Future", kCheckValidity | kItemMode),
              missed(codes::kCertificateNotYetValid));
    CertificateSearch searcher(platform(), store_.get());
    std::vector<StoredCertificate> matches;
    EXPECT_EQ(searcher.findMatches(&matches, {"S_CN=Nobody", kItemMode, 0, std::nullopt}),
              codes::kCertificateNotFound);
    EXPECT_EQ(searcher.lastError(), platform::errors::kCryptENotFound);
    EXPECT_EQ(searcher.findFirstMatch(&matches, {"", 0, 0, std::nullopt}), codes::kSuccess);
    EXPECT_EQ(searcher.lastError(), platform::errors::kSuccess);
}

TEST_F(CertificateSearchTest, BestOfKeepsOneByTheChosenDate) {
    add("/C=TW/O=Example Bank/CN=Early",
        {"--not-before", "20200101000000Z", "--not-after", "20300101000000Z"});
    add("/C=TW/O=Example Bank/CN=Late",
        {"--not-before", "20230501000000Z", "--not-after", "20280101000000Z"});
    add("/C=TW/O=Example Bank/CN=Late twin",
        {"--not-before", "20230501000000Z", "--not-after", "20280101000000Z"});
    EXPECT_EQ(all("", kBestOnly), found({"Late"}));
    EXPECT_EQ(all("", kBestOnly | 0x20), found({"Early"}));
    EXPECT_EQ(all("", kBestOnly | 0x40), found({"Early"}));
    EXPECT_EQ(all("", kBestOnly | 0x80), found({"Late"}));
    // 0x20 wins over the other preferences, 0x40 over 0x80.
    EXPECT_EQ(all("", kBestOnly | 0x20 | 0x80), found({"Early"}));
    EXPECT_EQ(all("", kBestOnly | 0x40 | 0x80), found({"Early"}));
    // Only the low two bits equal to 2 ask for the best alone.
    EXPECT_EQ(all("", 3), found({"Early", "Late", "Late twin"}));
    EXPECT_EQ(all("", 1 | 0x20), found({"Early", "Late", "Late twin"}));
    EXPECT_EQ(first("", kBestOnly), found({"Early"}));
}

// East of UTC, 9999-12-31 23:59:59 UTC is in the year 10000 local time; its
// text would sort before any four-digit year.
TEST_F(CertificateSearchTest, BestOfComparesInstantsPastTheYear9999) {
    test::ScopedTimeZone zone("Asia/Taipei");
    add("/C=TW/O=Example Bank/CN=Ordinary", {"--not-after", "20300101000000Z"});
    add("/C=TW/O=Example Bank/CN=Forever", {"--not-after", "99991231235959Z"});
    EXPECT_EQ(all("", kBestOnly | 0x40), found({"Forever"}));
    EXPECT_EQ(all("", kBestOnly | 0x80), found({"Ordinary"}));
}

TEST_F(CertificateSearchTest, NoStoreOrNoListIsNotFound) {
    add("/C=TW/O=Example Bank/CN=Wang");
    CertificateSearch closed(platform(), nullptr);
    std::vector<StoredCertificate> matches;
    EXPECT_EQ(closed.findFirstMatch(&matches, {}), codes::kCertificateNotFound);
    EXPECT_EQ(closed.findMatches(&matches, {}), codes::kCertificateNotFound);
    CertificateSearch open(platform(), store_.get());
    EXPECT_EQ(open.findFirstMatch(nullptr, {}), codes::kCertificateNotFound);
    EXPECT_EQ(open.findMatches(nullptr, {}), codes::kCertificateNotFound);
}

// UnreadableStore: a store whose listing fails while `fails` is set, as a
// system store does when its database cannot be read, and is empty after.
class UnreadableStore : public platform::CertificateStore {
public:
    bool fails = true;

    platform::Outcome<std::vector<StoredCertificate>> certificates() const override {
        if (!fails) return std::vector<StoredCertificate>{};
        return platform::fail(platform::errors::kErrorFileCorrupt);
    }
    platform::Outcome<platform::CertProperties> properties(platform::CertId) const override {
        return platform::fail(platform::errors::kErrorFileCorrupt);
    }
    platform::Outcome<Bytes> sha1Hash(platform::CertId) const override {
        return platform::fail(platform::errors::kErrorFileCorrupt);
    }
    platform::Status setKeyProvInfo(platform::CertId, const platform::KeyProvInfo&,
                                    platform::PropertyScope) override {
        return platform::fail(platform::errors::kNtePerm);
    }
    platform::Status setKeyContext(platform::CertId, const platform::KeyContext&) override {
        return platform::fail(platform::errors::kNtePerm);
    }
    platform::Status setFriendlyName(platform::CertId, std::u16string_view) override {
        return platform::fail(platform::errors::kNtePerm);
    }
    platform::Outcome<platform::KeyContext> acquirePrivateKey(platform::CertId) override {
        return platform::fail(platform::errors::kErrorFileCorrupt);
    }
    platform::Outcome<platform::CertId> add(platform::ByteView, const platform::CertProperties&,
                                            platform::AddDisposition) override {
        return platform::fail(platform::errors::kNtePerm);
    }
    platform::Status remove(platform::CertId) override {
        return platform::fail(platform::errors::kNtePerm);
    }
};

TEST_F(CertificateSearchTest, AStoreThatCannotBeReadIsToldApartFromNoMatch) {
    using Search =
        std::int32_t (CertificateSearch::*)(std::vector<StoredCertificate>*, const SearchRequest&);
    add("/C=TW/O=Example Bank/CN=Wang");
    for (Search search : {&CertificateSearch::findFirstMatch, &CertificateSearch::findMatches}) {
        UnreadableStore unreadable;
        std::vector<StoredCertificate> matches{StoredCertificate{99, Bytes{1}}};
        CertificateSearch broken(platform(), &unreadable);
        EXPECT_EQ((broken.*search)(&matches, {}), codes::kCertificateNotFound);
        EXPECT_TRUE(broken.storeUnreadable());
        EXPECT_EQ(broken.lastError(), platform::errors::kErrorFileCorrupt);
        EXPECT_TRUE(matches.empty());
        // A later search of the store, read this time, forgets the failure.
        unreadable.fails = false;
        EXPECT_EQ((broken.*search)(&matches, {}), codes::kCertificateNotFound);
        EXPECT_FALSE(broken.storeUnreadable());

        // A readable store without a match, or no store at all, is not
        // an unreadable one.
        CertificateSearch readable(platform(), store_.get());
        EXPECT_EQ((readable.*search)(&matches, {"S_CN=Nobody", kItemMode, 0, std::nullopt}),
                  codes::kCertificateNotFound);
        EXPECT_FALSE(readable.storeUnreadable());
        CertificateSearch closed(platform(), nullptr);
        EXPECT_EQ((closed.*search)(&matches, {}), codes::kCertificateNotFound);
        EXPECT_FALSE(closed.storeUnreadable());
    }
}

}  // namespace
}  // namespace pennaform::signing
