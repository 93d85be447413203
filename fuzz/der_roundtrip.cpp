// Fuzz target: DerCursor and DerBuilder against each other.
// The input is read with the cursor as a list of elements, recursing into
// every constructed one; an input the cursor accepts whole is DER, and the
// builder must write its tree back to the same bytes. Each SET is written a
// second time as a SET OF, which must give the same bytes exactly when its
// elements were already in DER order, and otherwise the sorted ones.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <span>
#include <vector>

#include "encoding/DerBuilder.h"
#include "encoding/DerCursor.h"

using pennaform::DerBuilder;
using pennaform::DerCursor;
using pennaform::DerElement;
using pennaform::DerScope;
namespace derTags = pennaform::derTags;

namespace {

using Octets = std::vector<std::uint8_t>;

void require(bool condition) {
    if (!condition) std::abort();
}

struct Node {
    std::uint8_t tag = 0;
    std::span<const std::uint8_t> contents;  // primitive elements only
    std::vector<Node> children;              // constructed elements only
    bool sortedSet = true;                   // a SET whose children are in DER order
};

bool isConstructed(std::uint8_t tag) {
    return (tag & derTags::kConstructedBit) != 0;
}

// parse: the elements of `bytes`; nullopt unless all of it is DER elements,
// down to the contents of every constructed one. Depth is capped so that the
// recursion stays bounded on deep inputs.
std::optional<std::vector<Node>> parse(std::span<const std::uint8_t> bytes, int depth) {
    if (depth > 64) return std::nullopt;
    std::vector<Node> nodes;
    DerCursor cursor(bytes);
    while (!cursor.empty()) {
        std::optional<DerElement> element = cursor.readAny();
        if (!element) return std::nullopt;
        Node node{element->tag, {}, {}, true};
        if (isConstructed(element->tag)) {
            std::optional<std::vector<Node>> children = parse(element->contents, depth + 1);
            if (!children) return std::nullopt;
            node.children = std::move(*children);
            // Sortedness is judged on the raw encodings, independently of
            // the builder's sort.
            if (element->tag != derTags::kSet) {
                nodes.push_back(std::move(node));
                continue;
            }
            DerCursor again(element->contents);
            std::vector<Octets> encodings;
            while (!again.empty()) {
                std::optional<DerElement> child = again.readAny();
                encodings.emplace_back(child->encoding.begin(), child->encoding.end());
            }
            node.sortedSet = std::is_sorted(encodings.begin(), encodings.end());
        } else {
            node.contents = element->contents;
        }
        nodes.push_back(std::move(node));
    }
    return nodes;
}

// write: the nodes into `scope`; a SET becomes a SET OF when `asSetOf`.
void write(DerScope& scope, const std::vector<Node>& nodes, bool asSetOf) {
    for (const Node& node : nodes) {
        if (!isConstructed(node.tag)) {
            scope.addPrimitive(node.tag, node.contents);
            continue;
        }
        DerScope child =
            asSetOf && node.tag == derTags::kSet ? scope.setOf() : scope.child(node.tag);
        write(child, node.children, asSetOf);
        child.close();
    }
}

bool anySetUnsorted(const std::vector<Node>& nodes) {
    return std::any_of(nodes.begin(), nodes.end(), [](const Node& node) {
        return (node.tag == derTags::kSet && !node.sortedSet) || anySetUnsorted(node.children);
    });
}

std::optional<Octets> encode(const std::vector<Node>& nodes, bool asSetOf) {
    DerBuilder builder;
    write(builder, nodes, asSetOf);
    return builder.finish();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> input(data, size);
    std::optional<std::vector<Node>> tree = parse(input, 0);
    if (!tree) return 0;

    std::optional<Octets> plain = encode(*tree, false);
    require(plain.has_value());
    require(std::equal(plain->begin(), plain->end(), input.begin(), input.end()));

    std::optional<Octets> sorted = encode(*tree, true);
    require(sorted.has_value() && sorted->size() == input.size());
    const bool same = std::equal(sorted->begin(), sorted->end(), input.begin(), input.end());
    require(same == !anySetUnsorted(*tree));
    // What the SET OF sort wrote is DER the cursor accepts, already sorted.
    std::optional<std::vector<Node>> resorted = parse(*sorted, 0);
    require(resorted.has_value() && !anySetUnsorted(*resorted));
    return 0;
}
