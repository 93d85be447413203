#include "platform/posix/NameText.h"

#include <openssl/objects.h>

#include <array>
#include <memory>
#include <vector>

#include "encoding/DerCursor.h"
#include "platform/CodePage.h"
#include "platform/HexText.h"
#include "platform/posix/OpenSslOwners.h"

namespace pennaform::platform {
namespace {

// Attribute: one AttributeTypeAndValue (X.501; RFC 5280 §4.1.2.4).
struct Attribute {
    std::string oid;  // dotted
    DerElement value;
};
using Rdn = std::vector<Attribute>;

// dottedOid: the dotted form of an OBJECT IDENTIFIER element (its whole
// encoding); nullopt when it is not a valid one.
std::optional<std::string> dottedOid(const DerElement& element) {
    const unsigned char* p = element.encoding.data();
    openssl::Owned<ASN1_OBJECT> object(d2i_ASN1_OBJECT(nullptr, &p, long(element.encoding.size())));
    if (!object) return std::nullopt;
    const int length = OBJ_obj2txt(nullptr, 0, object.get(), 1);
    if (length <= 0) return std::nullopt;
    std::string text(std::size_t(length) + 1, '\0');
    OBJ_obj2txt(text.data(), length + 1, object.get(), 1);
    text.resize(std::size_t(length));
    return text;
}

// parseName: Name ::= SEQUENCE OF RelativeDistinguishedName, RDN ::= SET OF
// AttributeTypeAndValue, ATV ::= SEQUENCE { type OID, value ANY } (RFC 5280
// §4.1.2.4). The RDNs and their attributes stay in encoded order; nothing may
// follow the name or sit inside an ATV after its value.
std::optional<std::vector<Rdn>> parseName(ByteView der) {
    DerCursor outer(der);
    std::optional<DerCursor> rdns = outer.readNested(derTags::kSequence);
    if (!rdns || !outer.empty()) return std::nullopt;
    std::vector<Rdn> name;
    while (!rdns->empty()) {
        std::optional<DerCursor> set = rdns->readNested(derTags::kSet);
        if (!set) return std::nullopt;
        Rdn rdn;
        while (!set->empty()) {
            std::optional<DerCursor> atv = set->readNested(derTags::kSequence);
            if (!atv) return std::nullopt;
            std::optional<DerElement> type = atv->read(derTags::kOid);
            std::optional<DerElement> value = atv->readAny();
            if (!type || !value || !atv->empty()) return std::nullopt;
            std::optional<std::string> oid = dottedOid(*type);
            if (!oid) return std::nullopt;
            rdn.push_back({std::move(*oid), *value});
        }
        name.push_back(std::move(rdn));
    }
    return name;
}

// x500Key: the key CertNameToStr writes for an attribute type in the X.500
// form; types Windows has no key for are written as "OID." and the dotted OID.
std::u16string x500Key(const std::string& oid) {
    struct Key {
        std::string_view oid;
        std::u16string_view key;
    };
    static constexpr std::array<Key, 21> kKeys{{
        {"2.5.4.3", u"CN"},
        {"2.5.4.4", u"SN"},
        {"2.5.4.5", u"SERIALNUMBER"},
        {"2.5.4.6", u"C"},
        {"2.5.4.7", u"L"},
        {"2.5.4.8", u"S"},
        {"2.5.4.9", u"STREET"},
        {"2.5.4.10", u"O"},
        {"2.5.4.11", u"OU"},
        {"2.5.4.12", u"T"},
        {"2.5.4.13", u"Description"},
        {"2.5.4.17", u"PostalCode"},
        {"2.5.4.18", u"POBox"},
        {"2.5.4.20", u"Phone"},
        {"2.5.4.24", u"X21Address"},
        {"2.5.4.42", u"G"},
        {"2.5.4.43", u"I"},
        {"2.5.4.46", u"dnQualifier"},
        {"1.2.840.113549.1.9.1", u"E"},
        {"0.9.2342.19200300.100.1.25", u"DC"},
        {"0.9.2342.19200300.100.1.1", u"UID"},
    }};
    for (const Key& key : kKeys) {
        if (key.oid == oid) return std::u16string(key.key);
    }
    std::u16string key = u"OID.";
    for (char c : oid) key.push_back(char16_t(c));
    return key;
}

std::u16string widenBytes(std::span<const std::uint8_t> bytes) {
    return std::u16string(bytes.begin(), bytes.end());
}

void appendCodePoint(std::u16string& out, char32_t cp) {
    if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        out.push_back(u'\uFFFD');
    } else if (cp >= 0x10000) {
        out.push_back(char16_t(0xD800 + ((cp - 0x10000) >> 10)));
        out.push_back(char16_t(0xDC00 + ((cp - 0x10000) & 0x3FF)));
    } else {
        out.push_back(char16_t(cp));
    }
}

std::u16string hexText(std::span<const std::uint8_t> bytes) {
    std::u16string out = u"#";
    appendUpperHex(out, bytes);
    return out;
}

// valueText: an attribute value in UTF-16, converted by its string type as
// CertRDNValueToStr does; a value that is no string is written as '#' and
// the upper-case hex of its bytes (an OCTET STRING's contents, the whole
// encoding of anything else).
std::u16string valueText(const DerElement& value) {
    const std::span<const std::uint8_t> bytes = value.contents;
    switch (value.tag) {
        case derTags::kUtf8String:
            return utf8ToUtf16(
                std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
        case derTags::kT61String: {
            // Teletex text is taken as UTF-8 when it is valid UTF-8 (a round
            // trip keeps exactly the valid texts), else byte by byte.
            const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
            std::u16string wide = utf8ToUtf16(text);
            return utf16ToUtf8(wide) == text ? wide : widenBytes(bytes);
        }
        case derTags::kNumericString:
        case derTags::kPrintableString:
        case derTags::kVideotexString:
        case derTags::kIa5String:
        case derTags::kGraphicString:
        case derTags::kVisibleString:
        case derTags::kGeneralString:
            return widenBytes(bytes);
        case derTags::kBmpString: {
            std::u16string out;
            for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
                out.push_back(char16_t((bytes[i] << 8) | bytes[i + 1]));
            }
            return out;
        }
        case derTags::kUniversalString: {
            std::u16string out;
            for (std::size_t i = 0; i + 3 < bytes.size(); i += 4) {
                appendCodePoint(out, (char32_t(bytes[i]) << 24) | (char32_t(bytes[i + 1]) << 16) |
                                         (char32_t(bytes[i + 2]) << 8) | bytes[i + 3]);
            }
            return out;
        }
        case derTags::kOctetString:
            return hexText(bytes);
        default:
            return hexText(value.encoding);
    }
}

}  // namespace

std::optional<std::u16string> x500NameText(ByteView nameDer) {
    std::optional<std::vector<Rdn>> name = parseName(nameDer);
    if (!name) return std::nullopt;
    std::u16string text;
    for (const Rdn& rdn : *name) {
        if (rdn.empty()) continue;
        if (!text.empty()) text += u", ";
        for (std::size_t i = 0; i < rdn.size(); ++i) {
            if (i > 0) text += u" + ";
            text += x500Key(rdn[i].oid);
            text += u'=';
            text += valueText(rdn[i].value);
        }
    }
    return text;
}

std::optional<std::u16string> attributeText(ByteView nameDer, std::string_view dottedOid) {
    std::optional<std::vector<Rdn>> name = parseName(nameDer);
    if (!name) return std::nullopt;
    const Attribute* last = nullptr;
    for (const Rdn& rdn : *name) {
        for (const Attribute& attribute : rdn) {
            if (attribute.oid == dottedOid) last = &attribute;
        }
    }
    return last != nullptr ? valueText(last->value) : std::u16string();
}

bool isEmptyName(ByteView nameDer) {
    std::optional<std::vector<Rdn>> name = parseName(nameDer);
    return name && name->empty();
}

}  // namespace pennaform::platform
