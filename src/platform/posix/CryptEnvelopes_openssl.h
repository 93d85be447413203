// The enveloping half of the PKCS#7 service of the POSIX backend, on OpenSSL
// in the backend's library context (which has the legacy provider, for DES
// and RC4). CryptMessages_openssl answers encryptMessage and decryptMessage
// with these.
#pragma once

#include <string_view>
#include <vector>

#include "platform/CertificateStores.h"
#include "platform/CryptMessages.h"
#include "platform/posix/OpenSslOwners.h"

namespace pennaform::platform::envelopes {

// encryptEnvelope: CryptMessages::encryptMessage in `library`.
Outcome<Bytes> encryptEnvelope(OSSL_LIB_CTX* library, const std::vector<Bytes>& recipients,
                               std::string_view contentAlgorithm, ByteView plaintext);

// decryptEnvelope: CryptMessages::decryptMessage in `library`: the message
// may be BER (read once by OpenSSL and written again as DER), the recipient's
// key is unwrapped by its key container (KeyContainer::decryptKey), and the
// content is decrypted here.
Outcome<Bytes> decryptEnvelope(OSSL_LIB_CTX* library, ByteView message, CertificateStore& keyStore);

}  // namespace pennaform::platform::envelopes
