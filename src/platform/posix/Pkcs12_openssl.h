// PFX (PKCS#12) files in the POSIX backend, read with OpenSSL. Modern files
// (PBES2 with PBKDF2 and AES, SHA-256 MAC) and legacy ones (3DES, RC2-40,
// SHA-1 MAC) are read alike; the legacy ciphers come from the legacy
// provider of the backend's own library context.
#pragma once

#include <cstdint>
#include <memory>

#include "platform/CertificateStores.h"
#include "platform/Pkcs12.h"
#include "platform/posix/KeyProviders_sqlite.h"
#include "platform/posix/OpenSslLibrary.h"

namespace pennaform::platform {

// kMaxPfxIterations: the largest iteration count of one key derivation that
// a file may ask for, and kMaxPfxIterationWork the sum over one file. A
// hostile file asking more is refused rather than let run for minutes. The
// fuzzing build lowers both so that the fuzzer spends its time on parsing.
#ifdef PENNAFORM_FUZZING
inline constexpr std::uint64_t kMaxPfxIterations = 64;
inline constexpr std::uint64_t kMaxPfxIterationWork = 1024;
#else
inline constexpr std::uint64_t kMaxPfxIterations = 1000000;
inline constexpr std::uint64_t kMaxPfxIterationWork = 4000000;
#endif

// makeOpenSslPkcs12: the PFX service. Imported keys go into new containers
// of `keys`; imported certificates into memory stores of `stores`. Both must
// outlive the service.
std::unique_ptr<Pkcs12> makeOpenSslPkcs12(std::shared_ptr<OpenSslLibrary> library,
                                          SoftwareKeyProviders& keys, CertificateStores& stores);

}  // namespace pennaform::platform
