// A PFX file loaded for a moment leaves no key on disk, even when the
// process that loaded it is killed before it could clean up: the keys of a
// temporary load live in that process only.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <string>

#include "pfx/PfxStore.h"
#include "platform/PlatformFactory.h"
#include "support/TemporaryFolder.h"

namespace pennaform {
namespace {

using pennaform::test::TemporaryFolder;
using platform::Bytes;

Bytes readBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool contains(const Bytes& haystack, const Bytes& needle) {
    return std::search(haystack.begin(), haystack.end(), needle.begin(), needle.end()) !=
           haystack.end();
}

// modulusOf: the modulus of the file's key, least significant byte first as
// the PUBLICKEYBLOB holds it after its 20-byte header.
Bytes modulusOf(platform::Platform& platform, const std::string& pfx) {
    PfxStore holder(platform);
    EXPECT_EQ(loadPfx(holder, pfx, "foo", 0), 0);
    if (holder.store() == nullptr) return {};
    platform::CertId id = (*holder.store()->certificates()).at(0).id;
    platform::KeyContext key = *holder.store()->acquirePrivateKey(id);
    Bytes blob = *(*key.container->userKey(key.keySpec))->exportPublicKeyBlob();
    return Bytes(blob.begin() + 20, blob.end());
}

TEST(PfxKeysProcess, AProcessKilledWhileAFileIsLoadedLeavesNoKeyOnDisk) {
    TemporaryFolder folder;
    platform::StateHome home(folder.sub("home"));
    const std::string pfx = std::string(PENNAFORM_TEST_DATA) + "/pkcs12/windows.p12";
    Bytes modulus;
    {
        auto platform = platform::makePlatform(home);
        // The database exists before the load, as it does for any user.
        ASSERT_TRUE(platform->keys()->createContainer({"present", "", 1}));
        modulus = modulusOf(*platform, pfx);
    }
    ASSERT_EQ(modulus.size(), 256u);

    int pipeEnds[2];
    ASSERT_EQ(pipe(pipeEnds), 0);
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        close(pipeEnds[0]);
        auto platform = platform::makePlatform(home);
        PfxStore holder(*platform);
        std::int32_t loaded = loadPfx(holder, pfx, "foo", pfxLoadFlags::kExportableKeys);
        (void)!write(pipeEnds[1], &loaded, sizeof loaded);
        kill(getpid(), SIGKILL);  // before closePfx could delete anything
        _exit(1);
    }
    close(pipeEnds[1]);
    std::int32_t loaded = -1;
    EXPECT_EQ(read(pipeEnds[0], &loaded, sizeof loaded), ssize_t(sizeof loaded));
    close(pipeEnds[0]);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
    EXPECT_EQ(loaded, 0);

    Bytes bigEndian(modulus.rbegin(), modulus.rend());
    int files = 0;
    for (const char* suffix : {"", "-wal", "-shm"}) {
        const std::string path = home.databasePath() + suffix;
        SCOPED_TRACE(path);
        Bytes bytes = readBytes(path);
        files += bytes.empty() ? 0 : 1;
        EXPECT_FALSE(contains(bytes, bigEndian));
        EXPECT_FALSE(contains(bytes, modulus));
    }
    EXPECT_GE(files, 1);
}

}  // namespace
}  // namespace pennaform
