// Fuzz target: DerNode's reader and writer against each other, and
// decodeCertificate. The input is read as a tree of DerNodes (parseList into
// every constructed element); whatever the reader accepts, encode must
// write back to the same bytes. A certificate that decodes is the whole
// input, and every field it hands out lies inside it.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <span>
#include <vector>

#include "encoding/DerNode.h"

using pennaform::CertificateView;
using pennaform::DerBytes;
using pennaform::DerNode;
using pennaform::DerView;

namespace {

void require(bool condition) {
    if (!condition) std::abort();
}

// reencoded: the element at the start of `bytes` read and written back;
// nullopt when the reader refuses any part of it.
std::optional<DerBytes> reencoded(DerView bytes, int depth) {
    if (bytes.empty() || depth > 64) return std::nullopt;
    const std::uint8_t classBits = bytes[0] & 0xE0;
    DerNode node;
    DerBytes value;
    if ((classBits & 0x20) == 0) {
        if (!node.parse(bytes, 0, classBits)) return std::nullopt;
        if (node.leadingOctet()) value.push_back(*node.leadingOctet());
        value.insert(value.end(), node.value().begin(), node.value().end());
    } else {
        if (!node.parseList(bytes, 0, classBits)) return std::nullopt;
        for (DerView child : node.children()) {
            std::optional<DerBytes> part = reencoded(child, depth + 1);
            if (!part) return std::nullopt;
            value.insert(value.end(), part->begin(), part->end());
        }
    }
    DerNode copy;
    DerBytes out;
    copy.setValue(value, node.tag(), false);
    require(copy.encode(out, node.tag(), classBits));
    return out;
}

bool inside(DerView part, DerView whole) {
    return part.empty() || (part.data() >= whole.data() &&
                            part.data() + part.size() <= whole.data() + whole.size());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const DerView input(data, size);
    std::optional<DerBytes> tree = reencoded(input, 0);
    if (tree) {
        // The tree is the first element; it comes back octet for octet.
        require(tree->size() <= input.size());
        require(std::equal(tree->begin(), tree->end(), input.begin()));
    }
    std::optional<CertificateView> certificate = pennaform::decodeCertificate(input);
    if (!certificate) return 0;
    // Decoding reads the fields signing uses, not inside the public key or
    // the names' values, so the whole tree need not be accepted; what it
    // hands out must lie inside the input.
    require(!tree || tree->size() == input.size());
    for (DerView field : {certificate->tbsCertificate, certificate->serialNumber,
                          certificate->issuer, certificate->subject, certificate->notBefore,
                          certificate->notAfter, certificate->subjectPublicKeyInfo,
                          certificate->signatureAlgorithm.oid, certificate->signatureValue}) {
        require(inside(field, input));
    }
    return 0;
}
