// CertWrapper against independent makers: certificates made by the test CA
// (OpenSSL's API), GnuTLS's certtool and other implementations (Windows and
// NSS bundles), each rendering compared with what the openssl command reads
// from the same file, or with the text Windows is known to write.
#include "certificates/CertWrapper.h"

#include <gtest/gtest.h>
#include <openssl/pkcs7.h>
#include <openssl/x509.h>

#include <algorithm>
#include <fstream>

#include "support/TestCa.h"
#include "unit/certificates/CertificateTestSupport.h"

namespace pennaform {
namespace {

using test::afterPrefix;
using test::openssl;
using Bytes = std::vector<std::uint8_t>;

class CertWrapperTest : public ::testing::Test {
protected:
    // make: a certificate from the test CA; fails the test when it cannot.
    Bytes make(const std::string& name, const std::vector<std::string>& options) {
        std::optional<Bytes> der = ca_.certificate(name, options);
        EXPECT_TRUE(der.has_value()) << ca_.lastError();
        return der.value_or(Bytes());
    }
    // makeRoot: a self-signed authority "C=TW, O=Test Root" named `name`.
    void makeRoot(const std::string& name) {
        make(name, {"--ca", "--subject", "/C=TW/O=Test Root", "--key-bits", "1024"});
    }
    // issued: options for a certificate issued by the root `root`.
    std::vector<std::string> issuedBy(const std::string& root, std::vector<std::string> options) {
        options.insert(options.end(), {"--issuer-cert", ca_.path(root + ".der"), "--issuer-key",
                                       ca_.path(root + ".key.pem"), "--key-bits", "1024"});
        return options;
    }
    std::string path(const std::string& name) const { return ca_.path(name + ".der"); }
    CertWrapper wrap(const Bytes& der) const {
        return CertWrapper(test::certificatePlatform(), der);
    }

    test::TestCa ca_;
};

// opensslName: the name as the openssl command prints it with RDNs joined by
// ", " and multi-valued parts by " + ", nothing escaped. For the attribute
// types C, L, O, OU and CN its keys are the Windows ones.
std::string opensslName(const std::string& derPath, const char* which) {
    return afterPrefix(openssl({"x509", "-inform", "DER", "-in", derPath, "-noout", which,
                                "-nameopt", "sep_comma_plus_space,utf8,-esc_msb"}),
                       std::string(which + 1) + "=");
}

// afterEquals: the text after its first '=' ("" without one).
std::string afterEquals(const std::string& text) {
    const std::size_t equals = text.find('=');
    return equals == std::string::npos ? "" : text.substr(equals + 1);
}

std::string opensslFingerprint(const std::string& derPath) {
    std::string text = afterEquals(
        openssl({"x509", "-inform", "DER", "-in", derPath, "-noout", "-fingerprint", "-sha1"}));
    text.erase(std::remove(text.begin(), text.end(), ':'), text.end());
    return text;
}

// opensslSerial: the serial as the openssl command prints it: the number
// in hex, without the 00 byte that DER puts before a first byte of 80 or
// more to keep the number positive.
std::string opensslSerial(const std::string& derPath) {
    return afterEquals(openssl({"x509", "-inform", "DER", "-in", derPath, "-noout", "-serial"}));
}

// withoutSignByte: a serial rendering without such a 00 byte.
std::string withoutSignByte(const std::string& serialHex) {
    const bool signByte =
        serialHex.size() > 2 && serialHex.rfind("00", 0) == 0 && serialHex[2] >= '8';
    return signByte ? serialHex.substr(2) : serialHex;
}

// opensslLocalCompact: a validity bound as openssl reads it (ISO 8601, UTC),
// moved into local time by the C library under the zone in force, then
// printed in the compact form.
std::string opensslLocalCompact(const std::string& derPath, const char* which) {
    const std::string iso = afterEquals(openssl(
        {"x509", "-inform", "DER", "-in", derPath, "-noout", which, "-dateopt", "iso_8601"}));
    std::tm fields{};
    if (strptime(iso.c_str(), "%Y-%m-%d %H:%M:%SZ", &fields) == nullptr) return "parse error";
    const std::time_t instant = timegm(&fields);
    std::tm local{};
    localtime_r(&instant, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y%m%d%H%M%S", &local);
    return text;
}

// Many certificates, each field compared with the openssl command's reading
// of the same file: names (attribute order, a comma in a value, multi-valued
// parts in encoded order, UTF-8 text), serials of every length, the SHA-1
// thumbprint and both date encodings.
TEST_F(CertWrapperTest, FieldsAgreeWithOpenSslOnManyCertificates) {
    struct Case {
        std::string subject, serial, notBefore, notAfter, timeForm;
    };
    std::string longSubject;
    for (char unit = 'a'; unit <= 'i'; ++unit) longSubject += "/OU=" + std::string(60, unit);
    const std::vector<Case> cases = {
        {"/C=TW/O=Example Bank/OU=Retail/CN=Wang", "01", "20200102030405Z", "20301231235959Z",
         "auto"},
        {"/C=TW/O=Example Bank, Taipei/CN=Wang, Jr.", "0100", "19991231160000Z", "20491231235959Z",
         "utc"},
        {"/CN=Wang+OU=Retail+O=Bank/C=TW", "00A1B2C3", "20200102030405Z", "20500101000000Z",
         "auto"},
        {"/O=Multi/OU=b+OU=a/CN=z", "00FFEEDDCCBBAA99887766554433221100FFEEDDCCBB",
         "20200102030405Z", "20250101000000Z", "generalized"},
        {"/CN=中文名稱/O=銀行/L=臺北", "7F", "19500101000000Z", "99991231235959Z", "auto"},
        {"/L=Taipei/O=Org", "0080", "20210615120000Z", "20210615120001Z", "auto"},
        {"/C=TW", "0102030405060708090A0B0C0D0E0F1011121314", "20000229000000Z", "20400229000000Z",
         "auto"},
        {"/CN=first/CN=second/CN=third", "05", "20200102030405Z", "20210102030405Z", "auto"},
        // Longer than the 511 bytes of the Windows buffer: kept whole.
        {longSubject, "06", "20200102030405Z", "20210102030405Z", "auto"},
    };
    makeRoot("root");
    test::ScopedTimeZone zone("Asia/Taipei");
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const Case& c = cases[i];
        SCOPED_TRACE(c.subject);
        const std::string name = "leaf" + std::to_string(i);
        const Bytes der = make(name, issuedBy("root", {"--subject", c.subject, "--serial", c.serial,
                                                       "--not-before", c.notBefore, "--not-after",
                                                       c.notAfter, "--time-form", c.timeForm}));
        CertWrapper certificate = wrap(der);
        ASSERT_TRUE(certificate.loaded()) << std::hex << certificate.lastError();
        EXPECT_EQ(certificate.subjectName(), opensslName(path(name), "-subject"));
        EXPECT_EQ(certificate.issuerName(), opensslName(path(name), "-issuer"));
        EXPECT_EQ(certificate.issuerName(), "C=TW, O=Test Root");
        EXPECT_EQ(withoutSignByte(certificate.serialHex()), opensslSerial(path(name)));
        EXPECT_EQ(certificate.serialHex(), c.serial);
        EXPECT_EQ(certificate.thumbprint(), opensslFingerprint(path(name)));
        EXPECT_EQ(certificate.notBeforeCompact(), opensslLocalCompact(path(name), "-startdate"));
        EXPECT_EQ(certificate.notAfterCompact(), opensslLocalCompact(path(name), "-enddate"));
        EXPECT_EQ(certificate.base64(), openssl({"base64", "-A", "-in", path(name)}));
    }
}

// The names Windows writes for a certificate made like the one behind
// Wine's conformance test, whose text was recorded on Windows, and the keys
// the openssl command does not share: S, E, SERIALNUMBER, OID.n.
TEST_F(CertWrapperTest, NamesUseTheWindowsKeysInEncodedOrder) {
    Bytes der = make("wine", {"--key-bits", "1024", "--subject",
                              "/C=US/ST=Minnesota/L=Minneapolis/O=CodeWeavers/OU=Wine Development"
                              "/CN=localhost/emailAddress=aric@codeweavers.com"});
    EXPECT_EQ(wrap(der).subjectName(),
              "C=US, S=Minnesota, L=Minneapolis, O=CodeWeavers, OU=Wine Development, "
              "CN=localhost, E=aric@codeweavers.com");

    der = make("keys", {"--key-bits", "1024", "--subject",
                        "/serialNumber=A123456789/1.2.3.4=unknown/title=Clerk/street=Main Road 1"
                        "/postalCode=100/GN=Mei/SN=Lin/initials=ML/DC=example/description=note"});
    EXPECT_EQ(wrap(der).subjectName(),
              "SERIALNUMBER=A123456789, OID.1.2.3.4=unknown, T=Clerk, STREET=Main Road 1, "
              "PostalCode=100, G=Mei, SN=Lin, I=ML, DC=example, Description=note");

    // DER sorts the attributes of a multi-valued RDN: CN (55 04 03) before
    // O (55 04 0A) before OU, whatever order they were given in.
    der = make("multi", {"--key-bits", "1024", "--subject", "/OU=Retail+O=Bank+CN=Wang/C=TW"});
    EXPECT_EQ(wrap(der).subjectName(), "CN=Wang + O=Bank + OU=Retail, C=TW");
}

// Each string type converted as Windows converts it, seen in the UTF-8 code
// page: BMP and Universal strings decoded, a Teletex string taken as UTF-8
// when it is valid UTF-8 and byte by byte otherwise, a PrintableString's
// bytes widened one by one.
TEST_F(CertWrapperTest, ValuesAreConvertedByStringType) {
    const Bytes der =
        make("types", {"--key-bits", "1024", "--subject",
                       "/CN:bmp=中文/O:universal=𝄞 clef/OU:t61=caf\\xC3\\xA9/L:t61=caf\\xE9"
                       "/ST:printable=\\xE9t\\xE9/emailAddress:ia5=a@b.tw"});
    CertWrapper certificate = wrap(der);
    EXPECT_EQ(certificate.subjectName(), "CN=中文, O=𝄞 clef, OU=café, L=café, S=été, E=a@b.tw");
    EXPECT_EQ(certificate.subjectCN(), "中文");
}

TEST_F(CertWrapperTest, CommonNames) {
    makeRoot("root");
    CertWrapper noCommonName = wrap(make("nocn", issuedBy("root", {"--subject", "/C=TW/O=Org"})));
    EXPECT_EQ(noCommonName.subjectCN(), "");
    EXPECT_EQ(noCommonName.issuerCN(), "");

    CertWrapper issued = wrap(make("cn", issuedBy("root", {"--subject", "/C=TW/CN=Wang, Jr."})));
    EXPECT_EQ(issued.subjectCN(), "Wang, Jr.");

    // Several common names: the last in encoded order, the most specific.
    CertWrapper several =
        wrap(make("several", issuedBy("root", {"--subject", "/CN=Root Unit/OU=x/CN=Leaf"})));
    EXPECT_EQ(several.subjectCN(), "Leaf");

    // An empty subject: the common name of the alternative name's directory name.
    CertWrapper alternative = wrap(make(
        "alt", issuedBy("root", {"--subject", "/", "--alt-dirname", "/O=Alt Org/CN=Alt Name"})));
    EXPECT_EQ(alternative.subjectName(), "");
    EXPECT_EQ(alternative.subjectCN(), "Alt Name");

    // A CN longer than the 99 bytes the Windows buffer held is kept whole:
    // 40 Chinese characters take 120 bytes in UTF-8.
    std::string longName;
    for (int i = 0; i < 40; ++i) longName += "名";
    CertWrapper longCn = wrap(make("long", issuedBy("root", {"--subject", "/CN=" + longName})));
    EXPECT_EQ(longCn.subjectCN(), longName);
}

// The three date forms in local time at UTC+8, for both time encodings.
TEST_F(CertWrapperTest, DatesInLocalTimeAtTaipei) {
    test::ScopedTimeZone zone("Asia/Taipei");
    for (const char* form : {"utc", "generalized"}) {
        SCOPED_TRACE(form);
        CertWrapper certificate =
            wrap(make(std::string("dates-") + form,
                      {"--key-bits", "1024", "--subject", "/CN=d", "--not-before",
                       "20200102030405Z", "--not-after", "20491231200000Z", "--time-form", form}));
        EXPECT_EQ(certificate.notBeforeCompact(), "20200102110405");
        EXPECT_EQ(certificate.notBeforeDate(), "2020/01/02");
        EXPECT_EQ(certificate.notBeforeDateTime(), "2020/01/02 11:04:05");
        // 20:00 UTC on New Year's Eve is already the next year in Taipei.
        EXPECT_EQ(certificate.notAfterCompact(), "20500101040000");
        EXPECT_EQ(certificate.notAfterDate(), "2050/01/01");
        EXPECT_EQ(certificate.notAfterDateTime(), "2050/01/01 04:00:00");
    }
}

// Local time takes the offset in force now for every date, as
// FileTimeToLocalFileTime does: in a zone with daylight saving, a winter and
// a summer date move by the same amount.
TEST_F(CertWrapperTest, LocalTimeUsesTheOffsetInForceNow) {
    test::ScopedTimeZone zone("America/New_York");
    const std::time_t now = std::time(nullptr);
    std::tm nowLocal{};
    localtime_r(&now, &nowLocal);
    auto expected = [&](int month) {
        std::tm utc{};
        utc.tm_year = 2021 - 1900;
        utc.tm_mon = month - 1;
        utc.tm_mday = 15;
        utc.tm_hour = 12;
        const std::time_t shifted = timegm(&utc) + nowLocal.tm_gmtoff;
        std::tm fields{};
        gmtime_r(&shifted, &fields);
        char text[32];
        std::strftime(text, sizeof text, "%Y%m%d%H%M%S", &fields);
        return std::string(text);
    };
    CertWrapper certificate =
        wrap(make("seasons", {"--key-bits", "1024", "--subject", "/CN=s", "--not-before",
                              "20210115120000Z", "--not-after", "20210715120000Z"}));
    EXPECT_EQ(certificate.notBeforeCompact(), expected(1));
    EXPECT_EQ(certificate.notAfterCompact(), expected(7));
}

TEST_F(CertWrapperTest, KeyUsageAndTheAuthorityRule) {
    makeRoot("root");
    CertWrapper root = wrap(test::readBinaryFile(path("root")));
    EXPECT_EQ(root.keyUsage(), 0x06);  // keyCertSign, cRLSign
    EXPECT_TRUE(root.isAuthority());

    struct Case {
        std::string usage;
        bool selfSigned;
        std::uint8_t keyUsage;
        bool authority;
    };
    const std::vector<Case> cases = {
        {"digitalSignature,nonRepudiation", false, 0xC0, false},
        {"keyEncipherment,dataEncipherment,keyAgreement", false, 0x38, false},
        {"digitalSignature,encipherOnly", false, 0x81, false},
        {"keyCertSign", false, 0x04, true},
        {"cRLSign", false, 0x02, true},
        {"decipherOnly", false, 0x00, false},  // its bit lives in the second byte
        {"none", false, 0x00, false},
        {"none", true, 0x00, true},  // self-issued without key usage
        {"digitalSignature", true, 0x80, true},
    };
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const Case& c = cases[i];
        SCOPED_TRACE(c.usage + (c.selfSigned ? " self-signed" : " issued"));
        std::vector<std::string> options{"--subject", "/CN=End Entity", "--key-usage", c.usage};
        if (!c.selfSigned) {
            options = issuedBy("root", options);
        } else {
            options.insert(options.end(), {"--key-bits", "1024"});
        }
        CertWrapper certificate = wrap(make("usage" + std::to_string(i), options));
        EXPECT_EQ(certificate.keyUsage(), c.keyUsage);
        EXPECT_EQ(certificate.isAuthority(), c.authority);
    }
}

// certificatesOf: the certificates of a PKCS#7 bundle, read with OpenSSL.
std::vector<Bytes> certificatesOf(const std::string& bundlePath) {
    const Bytes bundle = test::readBinaryFile(bundlePath);
    const unsigned char* p = bundle.data();
    std::unique_ptr<PKCS7, decltype(&PKCS7_free)> message(
        d2i_PKCS7(nullptr, &p, long(bundle.size())), PKCS7_free);
    std::vector<Bytes> certificates;
    if (!message || !PKCS7_type_is_signed(message.get())) return certificates;
    STACK_OF(X509)* stack = message->d.sign->cert;
    for (int i = 0; i < sk_X509_num(stack); ++i) {
        unsigned char* der = nullptr;
        const int length = i2d_X509(sk_X509_value(stack, i), &der);
        if (length > 0) certificates.emplace_back(der, der + length);
        OPENSSL_free(der);
    }
    return certificates;
}

// Certificates written by other implementations (a Windows and an NSS
// bundle) read the same as openssl reads them.
TEST_F(CertWrapperTest, CertificatesFromWindowsAndNssBundles) {
    test::ScopedTimeZone zone("Asia/Taipei");
    std::vector<std::string> subjects;
    for (const char* bundle : {"windows.p7c", "nss.p7c"}) {
        for (const Bytes& der : certificatesOf(std::string(PENNAFORM_TEST_DATA) + "/" + bundle)) {
            const std::string file = ca_.path("bundled" + std::to_string(subjects.size()) + ".der");
            std::ofstream(file, std::ios::binary)
                .write(reinterpret_cast<const char*>(der.data()), std::streamsize(der.size()));
            CertWrapper certificate = wrap(der);
            ASSERT_TRUE(certificate.loaded());
            subjects.push_back(certificate.subjectName());
            EXPECT_EQ(withoutSignByte(certificate.serialHex()), opensslSerial(file));
            EXPECT_EQ(certificate.thumbprint(), opensslFingerprint(file));
            EXPECT_EQ(certificate.notBeforeCompact(), opensslLocalCompact(file, "-startdate"));
            EXPECT_EQ(certificate.notAfterCompact(), opensslLocalCompact(file, "-enddate"));
            EXPECT_EQ(certificate.isAuthority(),
                      certificate.subjectName() == certificate.issuerName() ||
                          (certificate.keyUsage() & 0x06) != 0);
        }
    }
    EXPECT_EQ(subjects, (std::vector<std::string>{
                            "C=US, O=Equifax Secure Inc., CN=Equifax Secure eBusiness CA-1",
                            "C=US, O=GeoTrust Inc., CN=GeoTrust Global CA",
                            "C=US, S=California, L=Mountain View, O=Google Inc, CN=mail.google.com",
                            "C=US, O=Google Inc, CN=Google Internet Authority G2",
                        }));
}

// A certificate made by GnuTLS's certtool, an implementation apart from OpenSSL.
TEST_F(CertWrapperTest, CertificateFromGnuTlsCerttool) {
    if (test::runProcess({"certtool", "--version"}).exitStatus != 0) {
        GTEST_SKIP() << "certtool (gnutls-bin) is not installed";
    }
    const std::string key = ca_.path("gnutls.key");
    const std::string templ = ca_.path("gnutls.cfg");
    const std::string cert = ca_.path("gnutls.der");
    ASSERT_EQ(
        test::runProcess({"certtool", "--generate-privkey", "--bits", "1024", "--outfile", key})
            .exitStatus,
        0);
    std::ofstream(templ) << "country = TW\norganization = \"Example Bank, Taipei\"\n"
                            "unit = Retail\ncn = \"GnuTLS Wang\"\nserial = 0x00c0ffee\n"
                            "activation_date = \"2020-01-02 03:04:05\"\n"
                            "expiration_date = \"2051-06-30 23:59:59\"\nsigning_key\n";
    ASSERT_EQ(test::runProcess({"certtool", "--generate-self-signed", "--load-privkey", key,
                                "--template", templ, "--outder", "--outfile", cert})
                  .exitStatus,
              0);
    test::ScopedTimeZone zone("Asia/Taipei");
    CertWrapper certificate = wrap(test::readBinaryFile(cert));
    ASSERT_TRUE(certificate.loaded());
    EXPECT_EQ(certificate.subjectName(), opensslName(cert, "-subject"));
    EXPECT_EQ(certificate.subjectCN(), "GnuTLS Wang");
    EXPECT_EQ(certificate.serialHex(), "00C0FFEE");
    EXPECT_EQ(certificate.thumbprint(), opensslFingerprint(cert));
    EXPECT_EQ(certificate.notBeforeDateTime(), "2020/01/02 11:04:05");
    EXPECT_EQ(certificate.notAfterDateTime(), "2051/07/01 07:59:59");
    EXPECT_EQ(certificate.keyUsage(), 0x80);
    EXPECT_TRUE(certificate.isAuthority());  // self-issued
}

TEST_F(CertWrapperTest, LoadingFailuresAndReloading) {
    const Bytes good = make("good", {"--key-bits", "1024", "--subject", "/CN=Good"});
    CertWrapper certificate(test::certificatePlatform());
    EXPECT_FALSE(certificate.loadEncoded({}));
    EXPECT_EQ(certificate.lastError(), 0u);

    const Bytes text{'h', 'e', 'l', 'l', 'o'};
    EXPECT_FALSE(certificate.loadEncoded(text));
    EXPECT_EQ(certificate.lastError(), platform::errors::kCryptEAsn1BadTag);

    const Bytes cut(good.begin(), good.end() - 1);
    EXPECT_FALSE(certificate.loadEncoded(cut));
    EXPECT_EQ(certificate.lastError(), platform::errors::kCryptEAsn1Eod);

    Bytes trailing = good;
    trailing.push_back(0);
    EXPECT_FALSE(certificate.loadEncoded(trailing));
    EXPECT_EQ(certificate.lastError(), platform::errors::kCryptEAsn1Corrupt);

    // A failed load answers every getter with its empty value.
    EXPECT_FALSE(certificate.loaded());
    for (const std::string& field :
         {certificate.base64(), certificate.subjectName(), certificate.issuerName(),
          certificate.subjectCN(), certificate.issuerCN(), certificate.serialHex(),
          certificate.notBeforeCompact(), certificate.notAfterDate(),
          certificate.notAfterDateTime(), certificate.thumbprint()}) {
        EXPECT_EQ(field, "");
    }
    EXPECT_EQ(certificate.keyUsage(), 0);
    EXPECT_FALSE(certificate.isAuthority());
    EXPECT_FALSE(certificate.timeValidity().has_value());

    ASSERT_TRUE(certificate.loadEncoded(good));
    EXPECT_EQ(certificate.lastError(), 0u);
    EXPECT_EQ(certificate.subjectCN(), "Good");
    EXPECT_TRUE(std::equal(good.begin(), good.end(), certificate.encoded().data()));
    certificate.reset();
    EXPECT_FALSE(certificate.loaded());
    EXPECT_EQ(certificate.subjectCN(), "");
}

TEST_F(CertWrapperTest, TimeValidityBoundsAreInclusive) {
    CertWrapper certificate =
        wrap(make("validity", {"--key-bits", "1024", "--subject", "/CN=v", "--not-before",
                               "20200102030405Z", "--not-after", "20200103030405Z"}));
    // 2020-01-02 03:04:05 UTC in file-time ticks.
    const std::uint64_t start = 132224078450000000ull;
    const std::uint64_t day = 864000000000ull;
    EXPECT_EQ(certificate.timeValidity(platform::FileTime{start - 1}), -1);
    EXPECT_EQ(certificate.timeValidity(platform::FileTime{start}), 0);
    EXPECT_EQ(certificate.timeValidity(platform::FileTime{start + day}), 0);
    EXPECT_EQ(certificate.timeValidity(platform::FileTime{start + day + 1}), 1);
    EXPECT_EQ(certificate.timeValidity(), 1);  // now is long past 2020
}

}  // namespace
}  // namespace pennaform
