#include "toolkit/testca/CertCommand.h"

#include <openssl/rsa.h>
#include <openssl/x509v3.h>

#include <ctime>

#include "toolkit/testca/NameSyntax.h"
#include "toolkit/testca/OpenSsl.h"
#include "toolkit/testca/Options.h"

namespace pennaform::testca {
namespace {

using GeneralNamesPtr = std::unique_ptr<GENERAL_NAMES, Deleter<GENERAL_NAMES_free>>;

// serialOf: the INTEGER whose contents are the bytes written in `hex`
// (two's complement, most significant first). DER wants the shortest form,
// so a leading 00 is kept only before a byte of 80 or more.
IntegerPtr serialOf(const std::string& hex) {
    if (hex.empty() || hex.size() % 2 != 0 ||
        hex.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) {
        fail("--serial takes an even number of hex digits: " + hex);
        return nullptr;
    }
    Bytes contents;
    for (std::size_t i = 0; i < hex.size(); i += 2) {
        contents.push_back(static_cast<unsigned char>(std::stoul(hex.substr(i, 2), nullptr, 16)));
    }
    Bytes der;
    der.reserve(contents.size() + 4);
    der.push_back(V_ASN1_INTEGER);
    if (contents.size() < 0x80) {
        der.push_back(static_cast<unsigned char>(contents.size()));
    } else {
        der.push_back(0x82);
        der.push_back(static_cast<unsigned char>(contents.size() >> 8));
        der.push_back(static_cast<unsigned char>(contents.size() & 0xFF));
    }
    for (unsigned char b : contents) der.push_back(b);
    const unsigned char* p = der.data();
    IntegerPtr serial(d2i_ASN1_INTEGER(nullptr, &p, long(der.size())));
    if (!serial) fail("--serial " + hex + " is not the shortest form of its number");
    return serial;
}

// timeOf: "YYYYMMDDHHMMSSZ" as UTCTime or GeneralizedTime; `form` is utc,
// generalized or auto (UTCTime for the years 1950 to 2049, as RFC 5280
// §4.1.2.5 has it).
TimePtr timeOf(const std::string& text, const std::string& form) {
    TimePtr time(ASN1_TIME_new());
    const bool shapeOk =
        text.size() == 15 && text.back() == 'Z' && text.find_first_not_of("0123456789") == 14;
    const int year = shapeOk ? std::stoi(text.substr(0, 4)) : 0;
    const bool utc = form == "utc" || (form == "auto" && year >= 1950 && year <= 2049);
    if (!shapeOk || (form != "utc" && form != "generalized" && form != "auto") ||
        (utc && (year < 1950 || year > 2049))) {
        fail("a time is YYYYMMDDHHMMSSZ (UTCTime only for 1950..2049): " + text + " " + form);
        return nullptr;
    }
    const int ok = utc ? ASN1_UTCTIME_set_string(time.get(), text.substr(2).c_str())
                       : ASN1_GENERALIZEDTIME_set_string(time.get(), text.c_str());
    if (ok != 1) {
        fail("not a valid time: " + text);
        return nullptr;
    }
    return time;
}

std::string timeText(std::time_t when) {
    std::tm fields{};
    gmtime_r(&when, &fields);
    char text[32];
    std::strftime(text, sizeof text, "%Y%m%d%H%M%SZ", &fields);
    return text;
}

bool addExtension(X509* certificate, X509V3_CTX* context, int nid, const std::string& value) {
    ExtensionPtr extension(X509V3_EXT_conf_nid(nullptr, context, nid, value.c_str()));
    if (!extension || X509_add_ext(certificate, extension.get(), -1) != 1) {
        return fail("cannot add the extension " + std::string(OBJ_nid2sn(nid)) + "=" + value);
    }
    return true;
}

bool addDirectoryAltName(X509* certificate, const std::string& nameText) {
    NamePtr name = parseName(nameText);
    if (!name) return false;
    GeneralNamesPtr names(GENERAL_NAMES_new());
    GENERAL_NAME* entry = GENERAL_NAME_new();
    if (!names || entry == nullptr) return fail("out of memory");
    GENERAL_NAME_set0_value(entry, GEN_DIRNAME, name.release());
    sk_GENERAL_NAME_push(names.get(), entry);
    if (X509_add1_ext_i2d(certificate, NID_subject_alt_name, names.get(), 0, X509V3_ADD_DEFAULT) !=
        1) {
        return fail("cannot add the subject alternative name");
    }
    return true;
}

bool addExtensions(X509* certificate, X509* issuer, const Options& options) {
    X509V3_CTX context;
    X509V3_set_ctx_nodb(&context);
    X509V3_set_ctx(&context, issuer != nullptr ? issuer : certificate, certificate, nullptr,
                   nullptr, 0);
    const bool authority = options.has("--ca");
    if (authority &&
        !addExtension(certificate, &context, NID_basic_constraints, "critical,CA:TRUE")) {
        return false;
    }
    const std::string usage =
        options.value("--key-usage")
            .value_or(authority ? "keyCertSign,cRLSign" : "digitalSignature,keyEncipherment");
    if (usage != "none" &&
        !addExtension(certificate, &context, NID_key_usage, "critical," + usage)) {
        return false;
    }
    if (!addExtension(certificate, &context, NID_subject_key_identifier, "hash")) return false;
    if (issuer != nullptr &&
        !addExtension(certificate, &context, NID_authority_key_identifier, "keyid")) {
        return false;
    }
    if (auto altName = options.value("--alt-dirname")) {
        return addDirectoryAltName(certificate, *altName);
    }
    return true;
}

// requestKey: the public key of the PKCS#10 request (DER) in `path`, once
// its signature verifies.
KeyPtr requestKey(const std::string& path) {
    std::optional<Bytes> bytes = readFile(path);
    if (!bytes) return nullptr;
    const unsigned char* cursor = bytes->data();
    std::unique_ptr<X509_REQ, Deleter<X509_REQ_free>> request(
        d2i_X509_REQ(nullptr, &cursor, long(bytes->size())));
    KeyPtr key(request ? X509_REQ_get_pubkey(request.get()) : nullptr);
    if (!key || X509_REQ_verify(request.get(), key.get()) != 1) {
        fail("not a PKCS#10 request with a valid signature: " + path);
        return nullptr;
    }
    return key;
}

KeyPtr subjectKey(const Options& options) {
    if (auto path = options.value("--key")) return readPrivateKey(*path);
    if (auto path = options.value("--request")) return requestKey(*path);
    const std::string bits = options.value("--key-bits").value_or("2048");
    if (bits.empty() || bits.size() > 5 ||
        bits.find_first_not_of("0123456789") != std::string::npos) {
        fail("--key-bits takes a number of bits: " + bits);
        return nullptr;
    }
    KeyPtr key(EVP_RSA_gen(static_cast<unsigned>(std::stoul(bits))));
    if (!key) fail("cannot make an RSA key of " + bits + " bits");
    return key;
}

bool setValidity(X509* certificate, const Options& options) {
    const std::time_t now = std::time(nullptr);
    const std::string form = options.value("--time-form").value_or("auto");
    TimePtr notBefore = timeOf(options.value("--not-before").value_or(timeText(now)), form);
    TimePtr notAfter =
        timeOf(options.value("--not-after").value_or(timeText(now + 365 * 86400)), form);
    return notBefore && notAfter && X509_set1_notBefore(certificate, notBefore.get()) == 1 &&
           X509_set1_notAfter(certificate, notAfter.get()) == 1;
}

bool writeOutputs(X509* certificate, EVP_PKEY* key, const Options& options) {
    if (auto path = options.value("--out"); path && !writeFile(*path, derOf(certificate))) {
        return false;
    }
    if (auto path = options.value("--pem"); path && !writeFile(*path, pemOf(certificate))) {
        return false;
    }
    if (auto path = options.value("--key-out");
        path && !writeFile(*path, privateKeyPem(key), 0600)) {
        return false;
    }
    return true;
}

}  // namespace

int runCertCommand(const std::vector<std::string>& args) {
    std::optional<Options> options =
        Options::parse(args,
                       {"--subject", "--out", "--pem", "--issuer-cert", "--issuer-key", "--key",
                        "--key-bits", "--key-out", "--serial", "--not-before", "--not-after",
                        "--time-form", "--key-usage", "--alt-dirname", "--request"},
                       {"--ca"});
    if (!options) return 2;
    if (!options->value("--subject") || (!options->has("--out") && !options->has("--pem")) ||
        options->has("--issuer-cert") != options->has("--issuer-key") ||
        int(options->has("--key")) + int(options->has("--key-bits")) +
                int(options->has("--request")) >
            1 ||
        (options->has("--request") && !options->has("--issuer-cert"))) {
        fail(
            "cert needs --subject, --out or --pem, both or neither of --issuer-cert and "
            "--issuer-key, at most one of --key, --key-bits and --request, and an issuer "
            "for --request");
        return 2;
    }

    KeyPtr key = subjectKey(*options);
    NamePtr subject = parseName(*options->value("--subject"));
    IntegerPtr serial = serialOf(options->value("--serial").value_or("01"));
    X509Ptr issuer;
    KeyPtr issuerKey;
    if (auto path = options->value("--issuer-cert")) {
        issuer = readCertificate(*path);
        issuerKey = readPrivateKey(*options->value("--issuer-key"));
        if (!issuer || !issuerKey) return 1;
    }
    X509Ptr certificate(X509_new());
    if (!key || !subject || !serial || !certificate) return 1;

    const bool made =
        X509_set_version(certificate.get(), X509_VERSION_3) == 1 &&
        X509_set_serialNumber(certificate.get(), serial.get()) == 1 &&
        X509_set_subject_name(certificate.get(), subject.get()) == 1 &&
        X509_set_issuer_name(certificate.get(),
                             issuer ? X509_get_subject_name(issuer.get()) : subject.get()) == 1 &&
        X509_set_pubkey(certificate.get(), key.get()) == 1 &&
        setValidity(certificate.get(), *options) &&
        addExtensions(certificate.get(), issuer.get(), *options) &&
        X509_sign(certificate.get(), issuerKey ? issuerKey.get() : key.get(), EVP_sha256()) > 0;
    if (!made) {
        fail("cannot make the certificate");
        return 1;
    }
    return writeOutputs(certificate.get(), key.get(), *options) ? 0 : 1;
}

}  // namespace pennaform::testca
