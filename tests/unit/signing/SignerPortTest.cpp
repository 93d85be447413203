// The signer port object over a block in memory: the Engine's save and
// restore of the signer, and the events each change signals.
#include "signing/SignerPort.h"

#include <gtest/gtest.h>

#include <map>

#include "signing/SignerPortBlock.h"

namespace pennaform::signing {
namespace {

using platform::Bytes;
using platform::Status;

class MemoryBlock : public platform::SharedBlock {
public:
    explicit MemoryBlock(std::size_t size) : bytes(size) { formatBlock(bytes); }
    bool created() const override { return true; }
    std::uint32_t size() const override { return std::uint32_t(bytes.size()); }
    Status access(const std::function<Status(std::span<std::uint8_t>)>& body) override {
        ++holds;
        return body(bytes);
    }
    Bytes bytes;
    int holds = 0;
};

// CountingEvents: counts how often each named event is set.
class CountingEvents : public platform::SharedMemory {
public:
    class Event : public platform::NamedEvent {
    public:
        explicit Event(int& sets) : sets_(sets) {}
        Status set() override { return ++sets_, Status::success(); }
        Status reset() override { return Status::success(); }
        platform::Outcome<bool> wait(std::uint32_t) override { return false; }

    private:
        int& sets_;
    };
    platform::Outcome<std::unique_ptr<platform::SharedBlock>> openBlock(std::string_view,
                                                                        std::uint32_t) override {
        return platform::fail(platform::errors::kErrorNotSupported);
    }
    platform::Outcome<std::unique_ptr<platform::NamedEvent>> openEvent(
        std::string_view name) override {
        return std::unique_ptr<platform::NamedEvent>(new Event(sets[std::string(name)]));
    }
    std::map<std::string, int> sets;
};

void fill(SignerState& state, std::int32_t media, std::size_t certLength) {
    state.signerMedia = media;
    state.signerCertBytes = Bytes(certLength, 0xA5);
    state.signerCertHash = std::string(40, 'C');
    if (media == signerMedia::kPfxFile) {
        state.signerCertPasswd.assign("pass word");
        state.signerCertFilePath = "/certs";
        state.signerCertFileName = "me.pfx";
    } else {
        state.signerCertPasswd.clear();
        state.signerCertFilePath.clear();
        state.signerCertFileName.clear();
    }
}

TEST(SignerPort, SaveAndRestoreTheSignerEachUnderOneHold) {
    MemoryBlock block(20480);
    CountingEvents events;
    SignerPort port(block, &events);
    SignerState state;
    EXPECT_FALSE(readSavedSigner(port));

    fill(state, signerMedia::kPfxFile, 900);
    block.holds = 0;
    saveSigner(port, state);
    EXPECT_EQ(block.holds, 1);
    std::optional<SavedSigner> saved = readSavedSigner(port);
    EXPECT_EQ(block.holds, 2);
    ASSERT_TRUE(saved);
    EXPECT_EQ(saved->media, 2);
    EXPECT_EQ(saved->hash, std::string(40, 'C'));
    EXPECT_EQ(saved->password.view(), "pass word");
    EXPECT_EQ(saved->folder, "/certs");
    EXPECT_EQ(saved->name, "me.pfx");
    EXPECT_EQ(events.sets["Pennaform Module_Event"], 1);  // one set per change batch

    // A personal-store signer with a longer certificate: the bytes replaced
    // whole, and no password, folder or name left behind.
    fill(state, signerMedia::kPersonalStore, 1200);
    saveSigner(port, state);
    PortEntries* seen = nullptr;
    ASSERT_TRUE(port.locked([&](PortEntries& entries) {
        seen = &entries;
        EXPECT_EQ(entries.readInt("signerMedia"), 1);
        EXPECT_EQ(entries.readBytes("signerCertBytes"), state.signerCertBytes);
        for (const char* key : {"signerCertPasswd", "signerCertFilePath", "signerCertFileName"}) {
            EXPECT_FALSE(entries.exists(key)) << key;
        }
        return Status::success();
    }));
    EXPECT_NE(seen, nullptr);
    // A shorter one too: no zero tail beside the new hash.
    fill(state, signerMedia::kPersonalStore, 300);
    saveSigner(port, state);
    EXPECT_EQ(*port.get("signerCertBytes", std::nullopt), 300u);
    EXPECT_EQ(port.getInt("signerMedia", -1), 1);
    EXPECT_EQ(events.sets["signerMedia_Event"], 2);       // updated in place
    EXPECT_EQ(events.sets["signerCertBytes_Event"], 2);   // removed, added again
    EXPECT_EQ(events.sets["signerCertPasswd_Event"], 1);  // removed once, then absent
    EXPECT_EQ(events.sets.count("_Event"), 0u);
}

TEST(SignerPort, AStepAbortedMidwayKeepsWhatWasDoneAndReportsItsError) {
    MemoryBlock block(256);
    SignerPort port(block, nullptr);
    EXPECT_EQ(port.add(std::string(40, 'k'), Bytes{1}).error(),
              platform::errors::kRpcSStringTooLong);
    Status result = port.locked([](PortEntries& entries) {
        if (Status added = entries.addInt("n", 7); !added) return added;
        return entries.add("n", Bytes{1});
    });
    EXPECT_EQ(result.error(), platform::errors::kErrorAlreadyExists);
    EXPECT_EQ(port.getInt("n", -1), 7);
    EXPECT_EQ(port.getInt("absent", -5), -5);
}

}  // namespace
}  // namespace pennaform::signing
