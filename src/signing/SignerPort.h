// SignerPort: the signer port, a small key/value store in the shared block
// "Pennaform Module" that every process of the user's session (with the same
// state home) sees. A selection saves the current signer there, and a later
// selection in this or another process restores it without asking the user
// again.
//
// Using it:
//   std::optional<SignerPort> port = openSignerPort(engine.signer(), platform);
//   if (port) port->add("key", bytes);                   // one step, one hold
//   port->locked([&](PortEntries& entries) {              // several steps,
//       if (entries.readString("signerCertFilePath") != folder) return Status::success();
//       entries.remove("signerCertPasswd");               // under one hold
//       return entries.add("signerCertPasswd", newPassword);
//   });
// Every step of one `locked` body is atomic towards every other process and
// every other port object: nobody reads the block half-changed. Each change
// signals the port's named event ("Pennaform Module_Event") and the key's
// ("<key>_Event") once the lock is released; nothing here waits on them.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Platform.h"
#include "platform/SecretText.h"
#include "signing/SignerState.h"

namespace pennaform::signing {

inline constexpr std::string_view kPortName = "Pennaform Module";
inline constexpr std::uint32_t kPortSize = 20480;

// PortEntries: the port's entries while the lock is held; given to a
// SignerPort::locked body and valid only during it. Keys are 8-bit text in
// the process code page, converted to UTF-16 before every lookup.
class PortEntries {
public:
    // The primitives, with the errors of SignerPortBlock.h.
    bool exists(std::string_view key) const;
    platform::Status add(std::string_view key, platform::ByteView value);
    platform::Status addInt(std::string_view key, std::int32_t value);
    platform::Status update(std::string_view key, platform::ByteView value);
    platform::Status updateInt(std::string_view key, std::int32_t value);
    platform::Status remove(std::string_view key);
    // get: the stored length; with `buffer` the value copied as well.
    platform::Outcome<std::uint32_t> get(std::string_view key,
                                         std::optional<std::span<std::uint8_t>> buffer) const;
    // getInt: the 4-byte value, or `fallback` when it cannot be read.
    std::int32_t getInt(std::string_view key, std::int32_t fallback) const;

    // What the Engine reads: an integer (-1 when absent), a string (the
    // value up to its first zero; empty when absent), bytes (nullopt when
    // absent).
    std::int32_t readInt(std::string_view key) const;
    std::string readString(std::string_view key) const;
    void readSecret(std::string_view key, platform::SecretText& out) const;
    std::optional<platform::Bytes> readBytes(std::string_view key) const;

private:
    friend class SignerPort;
    PortEntries(std::span<std::uint8_t> block, std::vector<std::string>& signalled)
        : block_(block), signalled_(signalled) {}
    void signal(std::string name);

    std::span<std::uint8_t> block_;
    std::vector<std::string>& signalled_;  // event names, set after the lock is released
};

// SignerPort: a view of an open block and the session's named events. Both
// are the caller's and must outlive the object.
class SignerPort {
public:
    SignerPort(platform::SharedBlock& block, platform::SharedMemory* events,
               std::string_view portName = kPortName)
        : block_(block), events_(events), portName_(portName) {}

    // locked: runs `body` under one hold of the block's lock; what it
    // changes is written back whatever it returns. Returns what `body`
    // returns, or the lock's failure without calling it.
    platform::Status locked(const std::function<platform::Status(PortEntries&)>& body);

    // One primitive, one hold.
    bool exists(std::string_view key);
    platform::Status add(std::string_view key, platform::ByteView value);
    platform::Status addInt(std::string_view key, std::int32_t value);
    platform::Status update(std::string_view key, platform::ByteView value);
    platform::Status updateInt(std::string_view key, std::int32_t value);
    platform::Status remove(std::string_view key);
    platform::Outcome<std::uint32_t> get(std::string_view key,
                                         std::optional<std::span<std::uint8_t>> buffer);
    std::int32_t getInt(std::string_view key, std::int32_t fallback);

private:
    platform::SharedBlock& block_;
    platform::SharedMemory* events_;
    std::string portName_;
};

// signerPortName: the block's name for a port scope: kPortName for the
// empty scope; for a web origin, kPortName and the SHA-1 of the origin in
// hex, so that a signer one site chose is never restored by another's
// selection, and any origin gives a name of the same short length.
std::string signerPortName(std::string_view scope);

// openSignerPort: the Engine's port: `state.port` opened on first use
// (signerPortName(state.portScope), 20480 bytes; a block this open created is formatted)
// and kept. nullopt when the block cannot be opened: the port is absent and
// every port step is skipped.
std::optional<SignerPort> openSignerPort(SignerState& state, platform::Platform& platform);

// saveSigner: the current signer written to the port under one hold:
// "signerMedia", "signerCertBytes" (replaced whole when its length changes),
// then "signerCertHash", "signerCertPasswd", "signerCertFilePath" and
// "signerCertFileName" removed and added again (an empty one left absent).
// Failures are ignored: the selection stands without the port.
void saveSigner(SignerPort& port, const SignerState& state);

// SavedSigner: the signer record a port keeps (the certificate itself is
// found again by its hash).
struct SavedSigner {
    std::int32_t media = -1;
    std::string hash;
    platform::SecretText password;
    std::string folder;
    std::string name;
};

// readSavedSigner: the record read under one hold; nullopt when the port
// holds no "signerCertBytes". The PFX fields are read for a signer not of
// the personal store only.
std::optional<SavedSigner> readSavedSigner(SignerPort& port);

// updatePfxSignerPassword: after the password of the PFX file at `pfxPath`
// changed, a signer the port keeps from that very file ("signerMedia" 2, its
// folder and name joined as pfxFilePath joins them, compared exactly: two
// names that differ in case are two files here) gets "signerCertPasswd"
// replaced by `newPassword`; any other signer is left alone. Read and write
// run under one hold, so no other process changes the signer in between.
// Failures are ignored, as for saveSigner.
void updatePfxSignerPassword(SignerPort& port, std::string_view pfxPath,
                             std::string_view newPassword);

}  // namespace pennaform::signing
