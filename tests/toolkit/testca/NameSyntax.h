// NameSyntax: distinguished names written as the openssl command's -subj
// text, "/C=TW/O=Example, Inc./CN=Wang+OU=Retail", extended with a string
// type per attribute ("/CN:bmp=Wang") and byte escapes ("\xE9").
#pragma once

#include <string>

#include "toolkit/testca/OpenSsl.h"

namespace pennaform::testca {

// parseName: the name in `text`, its RDNs and the attributes of each in the
// order written (DER then sorts the attributes of a multi-valued RDN).
// - "/" starts an RDN, "+" another attribute of the same RDN; "\/", "\+" and
//   "\\" stand for the characters, "\xHH" for one byte.
// - A type is an OpenSSL name (CN, O, OU, C, ST, L, emailAddress,
//   serialNumber, title, ...) or a dotted OID.
// - ":TYPE" after the type chooses the value's string type: utf8, printable,
//   ia5, t61, numeric, visible, bmp (the UTF-8 text as UTF-16BE), universal
//   (as UCS-4BE). Without it OpenSSL chooses as its commands do (UTF8String
//   mostly; PrintableString for C; IA5String for emailAddress).
// An empty text or "/" is the empty name. Errors are reported.
NamePtr parseName(const std::string& text);

}  // namespace pennaform::testca
