// The file helpers on regular files, empty and missing ones, folders and
// FIFOs (which must be refused without blocking).
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <random>
#include <string>

#include "pfx/FileHelpers.h"
#include "support/TempDir.h"

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
    test::TempDir dir;
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
    test::TempDir dir;
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
    test::TempDir dir;
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
    test::TempDir dir;
    const std::string fifo = dir.path() + "/fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    for (const std::string& path : {std::string(), dir.path() + "/missing", dir.path(), fifo}) {
        bool called = false;
        EXPECT_FALSE(readFileInPieces(path, 64, [&](auto) { called = true; })) << path;
        EXPECT_FALSE(called) << path;
    }
}

TEST(FileHelpers, UnreadableFilesAreRefusedButExist) {
    if (geteuid() == 0) GTEST_SKIP() << "root reads files whatever their mode";
    test::TempDir dir;
    const std::string path = dir.file("secret", "abc");
    ASSERT_EQ(chmod(path.c_str(), 0), 0);
    EXPECT_TRUE(pathExists(path));
    ByteBuffer out;
    EXPECT_FALSE(readFile(out, path));
    EXPECT_FALSE(readFileInPieces(path, 64, [](auto) {}));
}

TEST(PathExists, FilesAndFoldersExistMissingAndEmptyPathsDoNot) {
    test::TempDir dir;
    EXPECT_TRUE(pathExists(dir.file("f", "x")));
    EXPECT_TRUE(pathExists(dir.path()));
    EXPECT_FALSE(pathExists(dir.path() + "/missing"));
    EXPECT_FALSE(pathExists(dir.path() + "/f/below-a-file"));
    EXPECT_FALSE(pathExists(""));
}

}  // namespace
}  // namespace pennaform
