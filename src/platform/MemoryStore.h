// MemoryStore: the certificate store that lives in one object and nowhere
// else, and the property rules every store follows. Portable: a backend
// hands it the certificate check it reads encodings with.
#pragma once

#include <functional>
#include <memory>

#include "platform/CertificateStores.h"
#include "platform/KeyProviders.h"

namespace pennaform::platform {

// CertificateCheck: reads `der` as one whole X.509 certificate and gives the
// 20-byte SHA-1 hash of the encoding; CRYPT_E_ASN1_* or CRYPT_E_BAD_ENCODE
// for bytes that are not one.
using CertificateCheck = std::function<Outcome<Bytes>(ByteView der)>;

// makeMemoryStore: a new, empty memory store. `check` reads what add is
// given; `keys` opens the containers that key-provider information names
// (acquirePrivateKey) and must outlive the store.
std::unique_ptr<CertificateStore> makeMemoryStore(CertificateCheck check, KeyProviders& keys);

// inheritProperties: `fresh` with the properties it does not set taken from
// `old`, as add with kReplaceInheritProperties keeps them; a new key binding
// does not take the old binding's key context.
CertProperties inheritProperties(CertProperties fresh, const CertProperties& old);

// openBoundKey: the private key of a certificate carrying `properties`: its
// key context, else the container its key-provider information names,
// opened through `keys`. CRYPT_E_NO_KEY_PROPERTY when it carries neither;
// the key service's error when the container cannot be opened.
Outcome<KeyContext> openBoundKey(KeyProviders& keys, const CertProperties& properties);

}  // namespace pennaform::platform
