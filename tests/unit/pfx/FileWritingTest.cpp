// writeFile and removeFile: whole files replaced by rename, owner-only, and
// nothing left behind by a write that fails.
#include "pfx/FileWriting.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "support/TemporaryFolder.h"

namespace pennaform {
namespace {

namespace fs = std::filesystem;

std::string contentOf(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::size_t entriesIn(const fs::path& folder) {
    return std::size_t(std::distance(fs::directory_iterator(folder), fs::directory_iterator()));
}

TEST(FileWriting, WritesReplacesAndEmptiesWholeFiles) {
    pennaform::test::TemporaryFolder folder;
    std::string path = folder.sub("out.pfx");
    ByteBuffer buffer;
    ASSERT_TRUE(buffer.append("new content", 11));
    std::ofstream(path) << "an older and longer content";
    ASSERT_TRUE(writeFile(buffer, path));
    EXPECT_EQ(contentOf(path), "new content");
    struct stat info {};
    ASSERT_EQ(stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);  // it holds a private key

    ByteBuffer empty;
    ASSERT_TRUE(writeFile(empty, path));  // an empty buffer gives an empty file
    EXPECT_EQ(fs::file_size(path), 0u);
    EXPECT_EQ(entriesIn(folder.path()), 1u);  // no temporary file left
}

TEST(FileWriting, AFailedWriteLeavesTheOldFileAndNoTemporary) {
    pennaform::test::TemporaryFolder folder;
    ByteBuffer buffer;
    ASSERT_TRUE(buffer.append("x", 1));
    EXPECT_FALSE(writeFile(buffer, ""));
    EXPECT_FALSE(writeFile(buffer, folder.sub("missing/out.pfx")));
    fs::create_directory(folder.sub("a folder"));
    EXPECT_FALSE(writeFile(buffer, folder.sub("a folder")));  // cannot replace a folder
    EXPECT_TRUE(fs::is_directory(folder.sub("a folder")));
    EXPECT_EQ(entriesIn(folder.path()), 1u);
}

TEST(FileWriting, RemovesFiles) {
    pennaform::test::TemporaryFolder folder;
    std::string path = folder.sub("gone.pfx");
    std::ofstream(path) << "x";
    EXPECT_TRUE(removeFile(path));
    EXPECT_FALSE(fs::exists(path));
    EXPECT_FALSE(removeFile(path));
    EXPECT_FALSE(removeFile(""));
}

}  // namespace
}  // namespace pennaform
