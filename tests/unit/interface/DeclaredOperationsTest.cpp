// The operations not built yet: each row that answers 5004 names an Engine
// member already declared with the row's arguments and result, so binding it
// later is a change of that row alone.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "interface/MethodTable.h"

namespace pennaform {
namespace {

#define DECLARED(name) \
    { #name, signatureOf < &Engine::name>() }

// Taking a member's address for its type needs no definition.
const std::map<std::string_view, Signature> kDeclared = {
    DECLARED(CreatePKCS10),         DECLARED(CreatePKCS10Pair),    DECLARED(GetCsrForSign),
    DECLARED(GetCsrForEncrypt),     DECLARED(AcceptPKCS7),         DECLARED(ChangePfxPasswd),
    DECLARED(ChangePfxPasswdEx),    DECLARED(QueryPfxInfo),        DECLARED(ImportPfxToIE),
    DECLARED(ExportPfxFromIE),      DECLARED(ExportMobileFromPfx), DECLARED(ExportMobileFromIE),
    DECLARED(SelectSigner),         DECLARED(SelectSignerEx),      DECLARED(GetSignerPfxFilePath),
    DECLARED(GetSignerPfxFileName), DECLARED(SignPkcs1),           DECLARED(SignPkcs7),
    DECLARED(SelectSignerEx2),      DECLARED(GetCertB64),          DECLARED(GetCertSubject),
    DECLARED(GetCertSubjectCN),     DECLARED(GetCertIssuer),       DECLARED(GetCertSerial),
    DECLARED(GetCertNotBefore),     DECLARED(GetCertNotAfter),     DECLARED(GetCertFinger),
    DECLARED(GetCertKeyUsage),      DECLARED(CertEncryptPkcs7),    DECLARED(CertDecryptPkcs7),
};

#undef DECLARED

TEST(DeclaredOperations, EveryRowNotBuiltHasAMemberOfItsSignature) {
    for (const MethodSpec& row : kMethodTable) {
        if (row.bound.known) continue;  // a bound row is checked as it compiles
        auto declared = kDeclared.find(row.name);
        ASSERT_NE(declared, kDeclared.end()) << row.name << " has no declared member";
        const Signature& member = declared->second;
        EXPECT_EQ(member.result, row.result) << row.name;
        ASSERT_EQ(member.argumentCount, row.argumentCount) << row.name;
        for (int i = 0; i < row.argumentCount; ++i) {
            EXPECT_EQ(member.arguments[std::size_t(i)], row.argumentList[std::size_t(i)].type)
                << row.name << " argument " << i;
        }
    }
    // A name listed here stays a row once it is built, so the list may lag.
    for (const auto& entry : kDeclared) {
        const auto& name = entry.first;
        EXPECT_NE(std::find_if(kMethodTable.begin(), kMethodTable.end(),
                               [&](const MethodSpec& row) { return row.name == name; }),
                  kMethodTable.end())
            << name;
    }
}

}  // namespace
}  // namespace pennaform
