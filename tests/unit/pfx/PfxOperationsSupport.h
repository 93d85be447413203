// What the PFX operation tests share: an Engine in a fresh home, a test CA
// that makes a root and user certificates in PFX files, and readers of the
// home's key containers and of files other tools write.
#pragma once

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "engine/Engine.h"
#include "support/Process.h"
#include "support/TemporaryFolder.h"
#include "support/TestCa.h"

namespace pennaform::test {

inline std::vector<std::uint8_t> fileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class PfxOperationsTest : public ::testing::Test {
protected:
    PfxOperationsTest() : engine_(EngineConfig{folder_.sub("home"), false}) {
        auto root = ca_.run({"cert", "--ca", "--subject", "/C=TW/O=Test Root", "--out",
                             ca_.path("root.der"), "--key-out", ca_.path("root.key.pem")});
        EXPECT_EQ(root.exitStatus, 0) << root.err;
    }

    // userPfx: a PFX file at `path` (password `password`) holding a user
    // certificate issued by the root, its key, and the root after it.
    void userPfx(const std::string& path, const std::string& commonName,
                 const std::string& password, std::vector<std::string> extra = {}) {
        std::string cert = ca_.path(commonName.empty() ? "nocn" : "user");
        std::vector<std::string> certArgs{"cert",
                                          "--subject",
                                          "/C=TW/O=Example/CN=" + commonName,
                                          "--issuer-cert",
                                          ca_.path("root.der"),
                                          "--issuer-key",
                                          ca_.path("root.key.pem"),
                                          "--key-bits",
                                          "1024",
                                          "--out",
                                          cert + ".der",
                                          "--key-out",
                                          cert + ".key.pem"};
        auto made = ca_.run(certArgs);
        ASSERT_EQ(made.exitStatus, 0) << made.err;
        std::vector<std::string> pfxArgs{"pfx",
                                         "--out",
                                         path,
                                         "--cert",
                                         cert + ".der",
                                         "--key",
                                         cert + ".key.pem",
                                         "--chain",
                                         ca_.path("root.der"),
                                         "--password",
                                         password};
        pfxArgs.insert(pfxArgs.end(), extra.begin(), extra.end());
        auto written = ca_.run(pfxArgs);
        ASSERT_EQ(written.exitStatus, 0) << written.err;
    }

    std::u16string u(const std::string& text) { return std::u16string(text.begin(), text.end()); }

    // containerCount: the key containers the home's database holds.
    int containerCount() {
        sqlite3* db = nullptr;
        int count = -1;
        if (sqlite3_open_v2(engine_.stateHome().databasePath().c_str(), &db, SQLITE_OPEN_READONLY,
                            nullptr) == SQLITE_OK) {
            sqlite3_stmt* query = nullptr;
            if (sqlite3_prepare_v2(db, "SELECT count(*) FROM key_containers", -1, &query,
                                   nullptr) == SQLITE_OK &&
                sqlite3_step(query) == SQLITE_ROW) {
                count = sqlite3_column_int(query, 0);
            }
            sqlite3_finalize(query);
        }
        sqlite3_close(db);
        return count;
    }

    // opensWith: whether `openssl pkcs12` reads the whole file with the
    // password; its dump in `outInfo`.
    bool opensWith(const std::string& path, const std::string& password,
                   std::string* outInfo = nullptr) {
        auto info = runProcess(
            {"openssl", "pkcs12", "-info", "-in", path, "-passin", "pass:" + password, "-nodes"});
        if (outInfo) *outInfo = info.out + info.err;
        return info.exitStatus == 0;
    }

    TemporaryFolder folder_;
    Engine engine_;
    TestCa ca_;
};

}  // namespace pennaform::test
