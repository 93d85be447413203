// The test CA's install command: puts a certificate, with its private key
// when one is given, into a store of a Pennaform home, as the component
// itself would find it there.
#pragma once

#include <string>
#include <vector>

namespace pennaform::testca {

// runInstallCommand: `args` are the words after "install":
//   --home DIR --store MY|ROOT|CA --cert CERT.der [--key KEY.pem]
// CERT.der is a DER certificate; KEY.pem its private key in PEM, PKCS#8 or
// the traditional form, unencrypted, as the openssl command writes them.
// The key goes into a new key container of the Enhanced RSA and AES provider
// (exportable, exchange slot) that the certificate's key-provider
// information names. Prints the certificate's SHA-1 thumbprint (and the
// container's name) on standard output. Returns the exit status: 0 done,
// 1 failure (a line on standard error says what failed), 2 usage error.
int runInstallCommand(const std::vector<std::string>& args);

}  // namespace pennaform::testca
