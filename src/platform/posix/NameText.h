// NameText: the text forms of an X.501 distinguished name that Windows
// writes with CertNameToStrA (X.500 form, no quoting) and CertGetNameStringA
// (one attribute), produced from the name's DER.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/PlatformTypes.h"

namespace pennaform::platform {

namespace nameOids {
inline constexpr std::string_view kCommonName = "2.5.4.3";
}  // namespace nameOids

// x500NameText: the name (DER of a Name) as CertNameToStrA renders it with
// CERT_X500_NAME_STR | CERT_NAME_STR_NO_QUOTING_FLAG, in UTF-16: RDNs in
// encoded order joined by ", ", the attributes of a multi-valued RDN by
// " + ", each as KEY=value with the Windows key (OID.n.n... for a type that
// has none) and the value unquoted. "" for an empty name; nullopt when the
// bytes are not a Name.
std::optional<std::u16string> x500NameText(ByteView nameDer);

// attributeText: the value of an attribute of the name as
// CertGetNameStringA(CERT_NAME_ATTR_TYPE) gives it, in UTF-16: the last
// attribute of type `dottedOid` in encoded order (the most specific one), ""
// when the name has none; nullopt when the bytes are not a Name.
std::optional<std::u16string> attributeText(ByteView nameDer, std::string_view dottedOid);

// isEmptyName: true when the DER is a Name with no RDN at all.
bool isEmptyName(ByteView nameDer);

}  // namespace pennaform::platform
