// The platform's file system on POSIX: whole and piecewise reads of regular
// files (empty and missing ones, folders and FIFOs refused without
// blocking), whole files written by rename, and the dialogs' checks.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

#include "encoding/FileBytes.h"
#include "platform/FileSystem.h"
#include "platform/posix/FileDescriptor.h"
#include "platform/posix/PosixErrors.h"
#include "support/TemporaryFolder.h"

namespace pennaform {
namespace {

namespace fs = std::filesystem;

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
        auto total =
            platform::readFileInPieces(path, 1000, [&](std::span<const std::uint8_t> piece) {
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
        EXPECT_FALSE(platform::readFileInPieces(path, 64, [&](auto) { called = true; })) << path;
        EXPECT_FALSE(called) << path;
    }
}

// A file that another process shortens or lengthens while it is read is
// neither its old nor its new version: no count is given for it, and no byte
// beyond the length it had when opened is handed over.
TEST(ReadFileInPieces, RefusesAFileThatChangesLengthWhileRead) {
    test::TemporaryFolder dir;
    struct Change {
        const char* name;
        off_t lengthAfterFirstPiece;
    };
    for (const Change& change : {Change{"truncated to nothing", 0}, Change{"cut short", 2500},
                                 Change{"lengthened", 20000}}) {
        const std::string path = dir.file("changing", randomText(10000));
        std::size_t seen = 0;
        const auto total =
            platform::readFileInPieces(path, 1000, [&](std::span<const std::uint8_t> piece) {
                if (seen == 0) {
                    ASSERT_EQ(truncate(path.c_str(), change.lengthAfterFirstPiece), 0);
                }
                seen += piece.size();
            });
        EXPECT_FALSE(total.has_value()) << change.name << ": " << total.value_or(0);
        EXPECT_LE(seen, 10000u) << change.name;
    }
}

// What stands at the path is refused before it is opened: a FIFO's open
// would wake a writer waiting on it, and a device's may have effects.
TEST(ReadFileInPieces, NeverOpensWhatIsNotARegularFile) {
    test::TemporaryFolder dir;
    const std::string fifo = dir.path() + "/fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    platform::FileDescriptor watch(inotify_init1(IN_NONBLOCK | IN_CLOEXEC));
    ASSERT_TRUE(watch.valid());
    ASSERT_GE(inotify_add_watch(watch.get(), fifo.c_str(), IN_OPEN), 0);
    EXPECT_FALSE(platform::readFileInPieces(fifo, 64, [](auto) {}));
    ByteBuffer out;
    EXPECT_FALSE(readFile(out, fifo));
    char event[4096];
    EXPECT_EQ(read(watch.get(), event, sizeof event), -1) << "the FIFO was opened";
    EXPECT_EQ(errno, EAGAIN);
}

// The transcript's file: a FIFO (even one with a reader) and a link are
// refused, and the link's target keeps its content.
TEST(OutputFile, RefusesLinksAndFifos) {
    test::TemporaryFolder dir;
    const std::string target = dir.file("target", "keep me");
    const std::string link = dir.path() + "/link";
    ASSERT_EQ(symlink(target.c_str(), link.c_str()), 0);
    const std::string dangling = dir.path() + "/dangling";
    ASSERT_EQ(symlink((dir.path() + "/nothing").c_str(), dangling.c_str()), 0);
    const std::string fifo = dir.path() + "/fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    // A reader, so that an open for writing would not wait.
    platform::FileDescriptor reader(open(fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    ASSERT_TRUE(reader.valid());
    for (const std::string& path : {link, dangling, fifo, dir.path()}) {
        EXPECT_FALSE(platform::OutputFile::create(path)) << path;
    }
    EXPECT_FALSE(fs::exists(dir.path() + "/nothing"));
    ByteBuffer kept;
    ASSERT_TRUE(readFile(kept, target));
    EXPECT_EQ(contentOf(kept), "keep me");
}

// A file made or taken over is owner-only and holds only what was written.
TEST(OutputFile, IsOwnerOnlyAndHoldsOnlyWhatWasWritten) {
    test::TemporaryFolder dir;
    const std::string path = dir.path() + "/transcript";
    for (const bool existed : {false, true}) {
        fs::remove(path);
        if (existed) {
            dir.file("transcript", "an earlier run's transcript, longer than the new one\n");
            ASSERT_EQ(chmod(path.c_str(), 0644), 0);
        }
        {
            auto file = platform::OutputFile::create(path);
            ASSERT_TRUE(file) << existed;
            EXPECT_TRUE(file->writeAll("line\n")) << existed;
        }
        struct stat info {};
        ASSERT_EQ(stat(path.c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 0777, 0600u) << existed;
        std::ifstream in(path);
        EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "line\n") << existed;
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
        if (!platform::pathExists(path)) failed |= kFoundNoFile;
        ByteBuffer out;
        if (readFile(out, path)) failed |= kReadTheFile;
        if (platform::readFileInPieces(path, 64, [](auto) {})) failed |= kReadTheFileInPieces;
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
    EXPECT_TRUE(platform::pathExists(dir.file("f", "x")));
    EXPECT_TRUE(platform::pathExists(dir.path()));
    EXPECT_FALSE(platform::pathExists(dir.path() + "/missing"));
    EXPECT_FALSE(platform::pathExists(dir.path() + "/f/below-a-file"));
    EXPECT_FALSE(platform::pathExists(""));
}

std::string fileContent(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::size_t entriesIn(const fs::path& folder) {
    return std::size_t(std::distance(fs::directory_iterator(folder), fs::directory_iterator()));
}

TEST(FileWriting, WritesReplacesAndEmptiesWholeFiles) {
    test::TemporaryFolder folder;
    std::string path = folder.sub("out.pfx");
    ByteBuffer buffer;
    ASSERT_TRUE(buffer.append("new content", 11));
    std::ofstream(path) << "an older and longer content";
    ASSERT_TRUE(platform::writeFile(path, buffer.bytes()));
    EXPECT_EQ(fileContent(path), "new content");
    struct stat info {};
    ASSERT_EQ(stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);  // it holds a private key

    ByteBuffer empty;
    ASSERT_TRUE(platform::writeFile(path, empty.bytes()));  // an empty buffer gives an empty file
    EXPECT_EQ(fs::file_size(path), 0u);
    EXPECT_EQ(entriesIn(folder.path()), 1u);  // no temporary file left
}

TEST(FileWriting, AFailedWriteLeavesTheOldFileAndNoTemporary) {
    test::TemporaryFolder folder;
    ByteBuffer buffer;
    ASSERT_TRUE(buffer.append("x", 1));
    EXPECT_FALSE(platform::writeFile("", buffer.bytes()));
    EXPECT_FALSE(platform::writeFile(folder.sub("missing/out.pfx"), buffer.bytes()));
    fs::create_directory(folder.sub("a folder"));
    EXPECT_FALSE(
        platform::writeFile(folder.sub("a folder"), buffer.bytes()));  // cannot replace a folder
    EXPECT_TRUE(fs::is_directory(folder.sub("a folder")));
    EXPECT_EQ(entriesIn(folder.path()), 1u);
}

TEST(FileWriting, RemovesFiles) {
    test::TemporaryFolder folder;
    std::string path = folder.sub("gone.pfx");
    std::ofstream(path) << "x";
    EXPECT_TRUE(platform::removeFile(path));
    EXPECT_FALSE(fs::exists(path));
    EXPECT_FALSE(platform::removeFile(path));
    EXPECT_FALSE(platform::removeFile(""));
}

TEST(FileChecks, TheWriteProbeNeverTouchesAnExistingFile) {
    test::TemporaryFolder folder;
    std::string target = folder.file("exported.pfx", "the earlier export");
    chmod(target.c_str(), 0400);
    EXPECT_EQ(platform::probeFileWriting(target), platform::WriteProbe::kWritable);
    EXPECT_EQ(fileContent(target), "the earlier export");
    struct stat info;
    ASSERT_EQ(stat(target.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0400u);
    EXPECT_EQ(entriesIn(folder.path()), 1u);  // no probe file left behind
}

TEST(FileChecks, TheWriteProbeRefusesWhatCannotTakeAFile) {
    test::TemporaryFolder folder;
    EXPECT_EQ(platform::probeFileWriting(folder.path() + "/new.pfx"),
              platform::WriteProbe::kWritable);
    EXPECT_EQ(entriesIn(folder.path()), 0u);
    EXPECT_EQ(platform::probeFileWriting(folder.path()),
              platform::WriteProbe::kNotWritable);  // a folder
    EXPECT_EQ(platform::probeFileWriting(folder.path() + "/missing/new.pfx"),
              platform::WriteProbe::kNotWritable);
    // No file can be created in /proc, even by root.
    EXPECT_EQ(platform::probeFileWriting("/proc/new.pfx"), platform::WriteProbe::kNotWritable);
    EXPECT_EQ(platform::probeFileWriting(""), platform::WriteProbe::kNotWritable);
    EXPECT_EQ(platform::probeFileWriting(folder.path() + std::string("/a\0b", 4)),
              platform::WriteProbe::kNotWritable);
}

TEST(FileChecks, FoldersAreCreatedOneLevelOnly) {
    test::TemporaryFolder folder;
    EXPECT_TRUE(platform::createFolder(folder.path() + "/new"));
    EXPECT_TRUE(platform::pathExists(folder.path() + "/new"));
    EXPECT_FALSE(platform::createFolder(folder.path() + "/a/b"));
    EXPECT_FALSE(platform::createFolder(""));
    EXPECT_FALSE(platform::pathExists(""));
    // A path cut short at a NUL byte would name another file.
    EXPECT_FALSE(platform::pathExists(folder.path() + std::string("\0/x", 3)));
}

TEST(ReadFailureError, NamesWhyAFileCannotBeRead) {
    test::TemporaryFolder dir;
    EXPECT_EQ(platform::readFailureError(dir.path() + "/missing"),
              platform::errors::kErrorFileNotFound);
    EXPECT_EQ(platform::readFailureError(dir.file("f", "x") + "/below"),
              platform::errors::kErrorFileNotFound);
    EXPECT_EQ(platform::readFailureError(dir.path()), platform::errors::kErrorAccessDenied);
    EXPECT_EQ(platform::readFailureError(dir.file("empty", "")), platform::errors::kSuccess);
}

// The one errno map keeps the numbers each of its callers gave before it:
// a missing path is a missing file or folder as the call was about.
TEST(PosixErrors, EachContextKeepsItsNumbers) {
    using platform::ErrnoContext;
    namespace errors = platform::errors;
    struct Row {
        int error;
        platform::PlatformError creatingFile, makingFolder, readingFile, databaseIo;
    };
    const Row rows[] = {
        {EACCES, errors::kErrorAccessDenied, errors::kErrorAccessDenied, errors::kErrorAccessDenied,
         errors::kErrorAccessDenied},
        {EPERM, errors::kErrorAccessDenied, errors::kErrorAccessDenied, errors::kErrorFileNotFound,
         errors::kErrorIoDevice},
        {EROFS, errors::kErrorAccessDenied, errors::kErrorAccessDenied, errors::kErrorFileNotFound,
         errors::kErrorAccessDenied},
        {ENOENT, errors::kErrorFileNotFound, errors::kErrorPathNotFound, errors::kErrorFileNotFound,
         errors::kErrorIoDevice},
        {EDQUOT, errors::kErrorDiskFull, errors::kErrorPathNotFound, errors::kErrorFileNotFound,
         errors::kErrorDiskFull},
        {ENOTDIR, errors::kErrorPathNotFound, errors::kErrorPathNotFound,
         errors::kErrorFileNotFound, errors::kErrorIoDevice},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(platform::windowsErrorFor(row.error, ErrnoContext::kCreatingFile),
                  row.creatingFile)
            << row.error;
        EXPECT_EQ(platform::windowsErrorFor(row.error, ErrnoContext::kMakingFolder),
                  row.makingFolder)
            << row.error;
        EXPECT_EQ(platform::windowsErrorFor(row.error, ErrnoContext::kReadingFile), row.readingFile)
            << row.error;
        EXPECT_EQ(platform::windowsErrorFor(row.error, ErrnoContext::kDatabaseIo), row.databaseIo)
            << row.error;
    }
}

}  // namespace
}  // namespace pennaform
