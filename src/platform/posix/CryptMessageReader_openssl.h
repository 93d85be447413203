// CryptMessageReader: the reading half of the PKCS#7 service over OpenSSL:
// the certificates and the content a message carries. BER is accepted
// (indefinite lengths included), as Windows writes .p7b files.
#pragma once

#include <vector>

#include "platform/Outcome.h"
#include "platform/PlatformTypes.h"

namespace pennaform::platform {

// readMessageCertificates: CryptMessages::messageCertificates.
Outcome<std::vector<Bytes>> readMessageCertificates(ByteView message);
// readMessageContent: CryptMessages::messageContent.
Outcome<Bytes> readMessageContent(ByteView message);

}  // namespace pennaform::platform
