// The file helpers on regular files, empty and missing ones, folders and
// FIFOs (which must be refused without blocking).
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <random>
#include <string>

#include "pfx/FileHelpers.h"
#include "support/TemporaryFolder.h"

namespace pennaform {
namespace {

std::string randomText(std::size_t n) {
    std::mt19937 rng{static_cast<unsigned>(n)};
    std::string s(n, '\0');
    for (char& c : s) c = char(rng());
    return s;
}

std::string contentOf(const ByteBuffer& b) {
    return std::string(reinterpret_cast<const char*>(b.bytes().data()), b.bytes().size());
}

TEST(ReadFile, ReadsTheWholeFileWithTheZeroTail) {
    test::TemporaryFolder dir;
    for (std::size_t n : {1u, 2u, 4095u, 4096u, 4097u, 1u << 20}) {
        const std::string content = randomText(n);
        ByteBuffer out;
        ASSERT_TRUE(readFile(out, dir.file("f", content))) << n;
        EXPECT_EQ(contentOf(out), content) << n;
        EXPECT_EQ(out.data()[n], 0);
        EXPECT_EQ(out.data()[n + 1], 0);
    }
}

TEST(ReadFile, RefusesWhatIsNotANonEmptyRegularFileAndLeavesTheBufferEmpty) {
    test::TemporaryFolder dir;
    const std::string fifo = dir.path() + "/fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const std::string cases[] = {"", dir.path() + "/missing", dir.file("empty", ""), dir.path(),
                                 fifo};
    for (const std::string& path : cases) {
        ByteBuffer out;
        ASSERT_TRUE(out.append("old", 3));
        EXPECT_FALSE(readFile(out, path)) << path;
        EXPECT_TRUE(out.empty()) << path;
    }
}

TEST(ReadFileInPieces, HandsOverTheFileInOrderInBoundedPieces) {
    test::TemporaryFolder dir;
    for (std::size_t n : {0u, 1u, 999u, 1000u, 1001u, 250000u}) {
        const std::string content = randomText(n);
        const std::string path = dir.file("f", content);
        std::string seen;
        std::size_t largest = 0;
        auto total = readFileInPieces(path, 1000, [&](std::span<const std::uint8_t> piece) {
            largest = std::max(largest, piece.size());
            seen.append(reinterpret_cast<const char*>(piece.data()), piece.size());
        });
        ASSERT_TRUE(total.has_value()) << n;
        EXPECT_EQ(*total, n);
        EXPECT_EQ(seen, content);
        EXPECT_LE(largest, 1000u);
    }
}

TEST(ReadFileInPieces, RefusesMissingFilesFoldersAndFifos) {
    test::TemporaryFolder dir;
    const std::string fifo = dir.path() + "/fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    for (const std::string& path : {std::string(), dir.path() + "/missing", dir.path(), fifo}) {
        bool called = false;
        EXPECT_FALSE(readFileInPieces(path, 64, [&](auto) { called = true; })) << path;
        EXPECT_FALSE(called) << path;
    }
}

// What the child of UnreadableFilesAreRefusedButExist reports in its exit
// status: a bit for each check that failed, or that it could not drop root's
// privileges.
constexpr int kFoundNoFile = 1;
constexpr int kReadTheFile = 2;
constexpr int kReadTheFileInPieces = 4;
constexpr int kStillRoot = 8;

TEST(FileHelpers, UnreadableFilesAreRefusedButExist) {
    test::TemporaryFolder dir;
    const std::string path = dir.file("secret", "abc");
    ASSERT_EQ(chmod(path.c_str(), 0), 0);
    // The folder lets others in, so that an unprivileged user finds the file.
    ASSERT_EQ(chmod(dir.path().c_str(), 0711), 0);

    // Root reads files whatever their mode: the checks run in a child, which,
    // when this process is root, first drops to the unprivileged user and
    // group "nobody" (65534).
    const pid_t child = fork();
    ASSERT_NE(child, -1);
    if (child == 0) {
        if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) std::_Exit(kStillRoot);
        int failed = 0;
        if (!pathExists(path)) failed |= kFoundNoFile;
        ByteBuffer out;
        if (readFile(out, path)) failed |= kReadTheFile;
        if (readFileInPieces(path, 64, [](auto) {})) failed |= kReadTheFileInPieces;
        std::_Exit(failed);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status)) << "child status " << status;
    const int failed = WEXITSTATUS(status);
    if (failed == kStillRoot) GTEST_SKIP() << "root's privileges cannot be dropped here";
    EXPECT_EQ(failed & kFoundNoFile, 0) << "pathExists did not find " << path;
    EXPECT_EQ(failed & kReadTheFile, 0) << "readFile read " << path;
    EXPECT_EQ(failed & kReadTheFileInPieces, 0) << "readFileInPieces read " << path;
}

TEST(PathExists, FilesAndFoldersExistMissingAndEmptyPathsDoNot) {
    test::TemporaryFolder dir;
    EXPECT_TRUE(pathExists(dir.file("f", "x")));
    EXPECT_TRUE(pathExists(dir.path()));
    EXPECT_FALSE(pathExists(dir.path() + "/missing"));
    EXPECT_FALSE(pathExists(dir.path() + "/f/below-a-file"));
    EXPECT_FALSE(pathExists(""));
}

}  // namespace
}  // namespace pennaform
