#include "encoding/DerNode.h"

#include <array>

#include "encoding/DerBuilder.h"
#include "encoding/DerCursor.h"

namespace pennaform {
namespace {

constexpr std::size_t kMaxOidOctets = 24;
constexpr std::size_t kMaxLengthOctets = 4;
constexpr std::uint64_t kMaxArc = 0xFFFFFFFF;
constexpr std::uint8_t kClassBitsMask = 0xE0;

// appendBase128: one subidentifier, seven bits an octet, most significant
// first, the top bit set on all but the last (X.690 §8.19.2).
void appendBase128(DerBytes& out, std::uint32_t value) {
    std::array<std::uint8_t, 5> groups{};
    std::size_t count = 0;
    do {
        groups[count++] = std::uint8_t(value & 0x7F);
        value >>= 7;
    } while (value != 0);
    while (count > 1) out.push_back(std::uint8_t(groups[--count] | 0x80));
    out.push_back(groups[0]);
}

// readArcs: the decimal arcs of `text`, separated by '.' or ' '; nullopt for
// an empty arc, another character or an arc above 32 bits.
std::optional<std::vector<std::uint64_t>> readArcs(std::string_view text) {
    std::vector<std::uint64_t> arcs;
    std::size_t at = 0;
    while (true) {
        std::uint64_t arc = 0;
        const std::size_t start = at;
        while (at < text.size() && text[at] >= '0' && text[at] <= '9') {
            arc = arc * 10 + std::uint64_t(text[at] - '0');
            if (arc > kMaxArc) return std::nullopt;
            ++at;
        }
        if (at == start) return std::nullopt;
        arcs.push_back(arc);
        if (at == text.size()) return arcs;
        if (text[at] != '.' && text[at] != ' ') return std::nullopt;
        ++at;
    }
}

// lengthOctetCount: how many octets the length of the element at the start
// of `bytes` takes after its identifier octet (1 for the short form); 0 when
// there is no length octet.
std::size_t lengthOctetCount(DerView bytes) {
    if (bytes.size() < 2) return 0;
    return (bytes[1] & 0x80) != 0 ? 1 + (bytes[1] & 0x7F) : 1;
}

// readElement: the one element at the start of `bytes`, read by the DER
// cursor, with the further limit of four length octets.
std::optional<DerElement> readElement(DerView bytes) {
    if (lengthOctetCount(bytes) > 1 + kMaxLengthOctets) return std::nullopt;
    DerCursor cursor(bytes);
    return cursor.readAny();
}

}  // namespace

bool DerNode::setValue(DerView bytes, std::uint32_t type, bool pad) {
    DerBytes copy(bytes.begin(), bytes.end());
    reset();
    ownValue_ = std::move(copy);
    ownsValue_ = true;
    tag_ = type;
    classBits_ = type == derType::kSequence || type == derType::kSet ? derClass::kConstructed
                                                                     : derClass::kUniversal;
    const bool negativeLooking = !ownValue_.empty() && (ownValue_[0] & 0x80) != 0;
    if (pad && ((type == derType::kInteger && negativeLooking) || type == derType::kBitString)) {
        leading_ = 0x00;
    }
    return true;
}

bool DerNode::setInteger(DerView bigEndian) {
    std::size_t first = 0;
    while (first + 1 < bigEndian.size() && bigEndian[first] == 0) ++first;
    if (bigEndian.empty()) {
        const std::uint8_t zero = 0;
        return setValue(DerView(&zero, 1), derType::kInteger, true);
    }
    return setValue(bigEndian.subspan(first), derType::kInteger, true);
}

bool DerNode::setOid(std::string_view text) {
    reset();
    std::optional<std::vector<std::uint64_t>> arcs = readArcs(text);
    if (!arcs || arcs->size() < 2 || (*arcs)[0] > 2) return false;
    if ((*arcs)[0] < 2 && (*arcs)[1] > 39) return false;
    const std::uint64_t firstTwo = (*arcs)[0] * 40 + (*arcs)[1];
    if (firstTwo > kMaxArc) return false;
    DerBytes contents;
    appendBase128(contents, std::uint32_t(firstTwo));
    for (std::size_t i = 2; i < arcs->size(); ++i)
        appendBase128(contents, std::uint32_t((*arcs)[i]));
    if (contents.size() > kMaxOidOctets) return false;
    return setValue(contents, derType::kOid, false);
}

bool DerNode::encode(DerBytes& out, std::uint32_t tag, std::uint8_t classBits) {
    if (tag >= derTags::kHighTagNumber || (classBits & ~kClassBitsMask) != 0) return false;
    tag_ = tag;
    classBits_ = classBits;
    DerBuilder builder;
    DerScope element = builder.child(std::uint8_t(classBits | tag));
    if (leading_) element.addRaw(DerView(&*leading_, 1));
    element.addRaw(value());
    element.close();
    std::optional<DerBytes> bytes = builder.finish();
    if (!bytes) return false;
    out.insert(out.end(), bytes->begin(), bytes->end());
    return true;
}

bool DerNode::parse(DerView bytes, std::uint32_t expectedTag, std::uint8_t expectedClass) {
    reset();
    std::optional<DerElement> element = readElement(bytes);
    if (!element) return false;
    const std::uint8_t classBits = element->tag & kClassBitsMask;
    const std::uint32_t tag = element->tag & derTags::kHighTagNumber;
    if (classBits != expectedClass || (expectedTag != 0 && tag != expectedTag)) return false;
    DerView value = element->contents;
    if (element->tag == derTags::kBitString) {
        if (value.empty()) return false;  // no unused-bits octet
        leading_ = value[0];
        value = value.subspan(1);
    }
    encoding_ = element->encoding;
    parsedValue_ = value;
    tag_ = tag;
    classBits_ = classBits;
    return true;
}

std::optional<DerView> DerNode::nextChild() {
    const DerView rest = value().subspan(cursor_);
    if (rest.empty()) return std::nullopt;
    std::optional<DerElement> child = readElement(rest);
    if (!child) return std::nullopt;
    cursor_ += child->encoding.size();
    return child->encoding;
}

std::optional<std::uint8_t> DerNode::peekChild() const {
    if (childrenDone()) return std::nullopt;
    return value()[cursor_];
}

bool DerNode::parseList(DerView bytes, std::uint32_t expectedTag, std::uint8_t expectedClass) {
    if (!parse(bytes, expectedTag, expectedClass)) return false;
    while (std::optional<DerView> child = nextChild()) children_.push_back(*child);
    if (!childrenDone()) {
        reset();
        return false;
    }
    return true;
}

DerView DerNode::value() const {
    return ownsValue_ ? DerView(ownValue_) : parsedValue_;
}

void DerNode::reset() {
    encoding_ = {};
    parsedValue_ = {};
    ownValue_.clear();
    ownsValue_ = false;
    tag_ = 0;
    classBits_ = 0;
    cursor_ = 0;
    leading_.reset();
    children_.clear();
}

std::optional<AlgorithmIdentifierView> decodeAlgorithmIdentifier(DerView bytes) {
    DerNode sequence;
    if (!sequence.parse(bytes, derType::kSequence, derClass::kConstructed)) return std::nullopt;
    DerNode oid;
    std::optional<DerView> first = sequence.nextChild();
    if (!first || !oid.parse(*first, derType::kOid, derClass::kUniversal)) return std::nullopt;
    AlgorithmIdentifierView view{oid.value(), std::nullopt};
    if (!sequence.childrenDone()) {
        view.parameters = sequence.nextChild();
        if (!view.parameters || !sequence.childrenDone()) return std::nullopt;
    }
    return view;
}

namespace {

// nextField: the next child of `parent` parsed as `node`, of the tag and
// class given, with its own children listed when `list` is set.
bool nextField(DerNode& parent, DerNode& node, std::uint32_t tag, std::uint8_t classBits,
               bool list = false) {
    std::optional<DerView> field = parent.nextChild();
    if (!field) return false;
    return list ? node.parseList(*field, tag, classBits) : node.parse(*field, tag, classBits);
}

// nextTime: a validity time, UTCTime or GeneralizedTime (RFC 5280
// §4.1.2.5); its contents.
std::optional<DerView> nextTime(DerNode& validity) {
    DerNode time;
    const std::uint32_t tag = validity.peekChild() == derTags::kGeneralizedTime
                                  ? derType::kGeneralizedTime
                                  : derType::kUtcTime;
    if (!nextField(validity, time, tag, derClass::kUniversal)) return std::nullopt;
    return time.value();
}

// readOptionalTbsFields: the issuer and subject unique identifiers [1],
// [2] and the extensions [3], each only once and in that order, the
// extensions' contents a SEQUENCE of extensions.
bool readOptionalTbsFields(DerNode& tbs) {
    std::uint32_t lastTag = 0;
    while (!tbs.childrenDone()) {
        const std::optional<std::uint8_t> identifier = tbs.peekChild();
        if (!identifier) return false;
        const std::uint32_t tag = *identifier & derTags::kHighTagNumber;
        const bool uniqueId = *identifier == (derClass::kContextPrimitive | 1) ||
                              *identifier == (derClass::kContextPrimitive | 2) ||
                              *identifier == (derClass::kContextConstructed | 1) ||
                              *identifier == (derClass::kContextConstructed | 2);
        const bool extensions = *identifier == (derClass::kContextConstructed | 3);
        if ((!uniqueId && !extensions) || tag <= lastTag) return false;
        DerNode field;
        if (!nextField(tbs, field, tag, std::uint8_t(*identifier & kClassBitsMask))) return false;
        if (extensions) {
            DerNode list;
            if (!list.parseList(field.value(), derType::kSequence, derClass::kConstructed) ||
                list.encoding().size() != field.value().size()) {
                return false;
            }
        }
        lastTag = tag;
    }
    return true;
}

}  // namespace

std::optional<CertificateView> decodeCertificate(DerView bytes) {
    DerNode certificate;
    if (!certificate.parse(bytes, derType::kSequence, derClass::kConstructed) ||
        certificate.encoding().size() != bytes.size()) {
        return std::nullopt;
    }
    DerNode tbs, version, serial, issuer, validity, subject, publicKey, signature;
    if (!nextField(certificate, tbs, derType::kSequence, derClass::kConstructed))
        return std::nullopt;
    std::optional<DerView> tbsAlgorithm;
    CertificateView view;
    const bool fields = nextField(tbs, version, 0, derClass::kContextConstructed) &&
                        nextField(tbs, serial, derType::kInteger, derClass::kUniversal) &&
                        (tbsAlgorithm = tbs.nextChild()) &&
                        decodeAlgorithmIdentifier(*tbsAlgorithm) &&
                        nextField(tbs, issuer, derType::kSequence, derClass::kConstructed, true) &&
                        nextField(tbs, validity, derType::kSequence, derClass::kConstructed);
    if (!fields || version.tag() != 0) return std::nullopt;
    std::optional<DerView> notBefore = nextTime(validity);
    std::optional<DerView> notAfter = nextTime(validity);
    if (!notBefore || !notAfter || !validity.childrenDone()) return std::nullopt;
    if (!nextField(tbs, subject, derType::kSequence, derClass::kConstructed, true) ||
        !nextField(tbs, publicKey, derType::kSequence, derClass::kConstructed) ||
        !readOptionalTbsFields(tbs)) {
        return std::nullopt;
    }
    std::optional<DerView> algorithm = certificate.nextChild();
    std::optional<AlgorithmIdentifierView> signatureAlgorithm =
        algorithm ? decodeAlgorithmIdentifier(*algorithm) : std::nullopt;
    if (!signatureAlgorithm ||
        !nextField(certificate, signature, derType::kBitString, derClass::kUniversal) ||
        !certificate.childrenDone()) {
        return std::nullopt;
    }
    view.tbsCertificate = tbs.encoding();
    view.serialNumber = serial.value();
    view.issuer = issuer.value();
    view.subject = subject.value();
    view.notBefore = *notBefore;
    view.notAfter = *notAfter;
    view.subjectPublicKeyInfo = publicKey.encoding();
    view.signatureAlgorithm = *signatureAlgorithm;
    view.signatureValue = signature.value();
    return view;
}

}  // namespace pennaform
