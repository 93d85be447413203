#include "toolkit/testca/NameSyntax.h"

#include <map>
#include <optional>
#include <vector>

namespace pennaform::testca {
namespace {

struct AttributeText {
    std::string type;
    std::string encoding;  // "" for OpenSSL's choice
    std::string value;     // bytes, escapes undone
};

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// splitName: the RDNs of the text, each a list of "type=value" parts with
// the escapes undone in the values.
std::optional<std::vector<std::vector<AttributeText>>> splitName(const std::string& text) {
    std::vector<std::vector<AttributeText>> rdns;
    if (text.empty() || text == "/") return rdns;
    std::size_t i = 0;
    if (text[0] != '/') {
        fail("a name starts with '/': " + text);
        return std::nullopt;
    }
    while (i < text.size()) {
        const char c = text[i];
        if (c == '/' || c == '+') {
            if (c == '/') rdns.emplace_back();
            const std::size_t equals = text.find('=', i + 1);
            if (rdns.empty() || equals == std::string::npos) {
                fail("no '=' in an attribute of " + text);
                return std::nullopt;
            }
            std::string type = text.substr(i + 1, equals - i - 1);
            const std::size_t colon = type.find(':');
            AttributeText attribute;
            attribute.type = type.substr(0, colon);
            if (colon != std::string::npos) attribute.encoding = type.substr(colon + 1);
            rdns.back().push_back(attribute);
            i = equals + 1;
        } else if (c == '\\' && i + 1 < text.size()) {
            if (text[i + 1] == 'x' && i + 3 < text.size() && hexDigit(text[i + 2]) >= 0 &&
                hexDigit(text[i + 3]) >= 0) {
                rdns.back().back().value.push_back(
                    char(hexDigit(text[i + 2]) * 16 + hexDigit(text[i + 3])));
                i += 4;
            } else {
                rdns.back().back().value.push_back(text[i + 1]);
                i += 2;
            }
        } else {
            rdns.back().back().value.push_back(c);
            ++i;
        }
    }
    return rdns;
}

std::string utf16be(const std::u32string& text) {
    std::string out;
    for (char32_t cp : text) {
        auto put = [&](unsigned unit) {
            out.push_back(char(unit >> 8));
            out.push_back(char(unit & 0xFF));
        };
        if (cp >= 0x10000) {
            put(0xD800 + ((cp - 0x10000) >> 10));
            put(0xDC00 + ((cp - 0x10000) & 0x3FF));
        } else {
            put(unsigned(cp));
        }
    }
    return out;
}

std::string ucs4be(const std::u32string& text) {
    std::string out;
    for (char32_t cp : text) {
        for (int shift = 24; shift >= 0; shift -= 8) out.push_back(char((cp >> shift) & 0xFF));
    }
    return out;
}

// codePoints: the UTF-8 text as code points; nullopt when it is not UTF-8.
std::optional<std::u32string> codePoints(const std::string& utf8) {
    std::u32string out;
    for (std::size_t i = 0; i < utf8.size();) {
        const unsigned char lead = static_cast<unsigned char>(utf8[i]);
        const int extra = lead < 0x80    ? 0
                          : lead >= 0xF0 ? 3
                          : lead >= 0xE0 ? 2
                          : lead >= 0xC0 ? 1
                                         : -1;
        if (extra < 0 || i + std::size_t(extra) >= utf8.size()) return std::nullopt;
        char32_t cp = extra == 0 ? lead : lead & (0x3F >> extra);
        for (int k = 1; k <= extra; ++k) {
            const unsigned char next = static_cast<unsigned char>(utf8[i + std::size_t(k)]);
            if ((next & 0xC0) != 0x80) return std::nullopt;
            cp = (cp << 6) | (next & 0x3F);
        }
        out.push_back(cp);
        i += std::size_t(extra) + 1;
    }
    return out;
}

// entryOf: one attribute as an OpenSSL name entry.
NameEntryPtr entryOf(const AttributeText& attribute) {
    ObjectPtr type(OBJ_txt2obj(attribute.type.c_str(), 0));
    if (!type) {
        fail("unknown attribute type " + attribute.type);
        return nullptr;
    }
    static const std::map<std::string, int> kTypes = {
        {"utf8", V_ASN1_UTF8STRING},       {"printable", V_ASN1_PRINTABLESTRING},
        {"ia5", V_ASN1_IA5STRING},         {"t61", V_ASN1_T61STRING},
        {"numeric", V_ASN1_NUMERICSTRING}, {"visible", V_ASN1_VISIBLESTRING},
        {"bmp", V_ASN1_BMPSTRING},         {"universal", V_ASN1_UNIVERSALSTRING},
    };
    int stringType = MBSTRING_UTF8;
    std::string bytes = attribute.value;
    if (!attribute.encoding.empty()) {
        auto found = kTypes.find(attribute.encoding);
        if (found == kTypes.end()) {
            fail("unknown string type " + attribute.encoding);
            return nullptr;
        }
        stringType = found->second;
        if (stringType == V_ASN1_BMPSTRING || stringType == V_ASN1_UNIVERSALSTRING) {
            std::optional<std::u32string> text = codePoints(bytes);
            if (!text) {
                fail("not UTF-8: " + attribute.value);
                return nullptr;
            }
            bytes = stringType == V_ASN1_BMPSTRING ? utf16be(*text) : ucs4be(*text);
        }
    }
    NameEntryPtr entry(X509_NAME_ENTRY_create_by_OBJ(
        nullptr, type.get(), stringType, reinterpret_cast<const unsigned char*>(bytes.data()),
        int(bytes.size())));
    if (!entry) fail("cannot make the attribute " + attribute.type + "=" + attribute.value);
    return entry;
}

}  // namespace

NamePtr parseName(const std::string& text) {
    std::optional<std::vector<std::vector<AttributeText>>> rdns = splitName(text);
    if (!rdns) return nullptr;
    NamePtr name(X509_NAME_new());
    for (const std::vector<AttributeText>& rdn : *rdns) {
        for (std::size_t i = 0; i < rdn.size(); ++i) {
            NameEntryPtr entry = entryOf(rdn[i]);
            // set 0 opens a new RDN; -1 adds to the RDN of the entry before.
            if (!entry || X509_NAME_add_entry(name.get(), entry.get(), -1, i == 0 ? 0 : -1) != 1) {
                return nullptr;
            }
        }
    }
    return name;
}

}  // namespace pennaform::testca
