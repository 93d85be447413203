// The demo's certificate steps: two certificates made and installed by the
// test CA, the personal store listed with the indexed getters, a filter
// string choosing one of them, and one deleted.
#include "cli/demo/DemoAreas.h"

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <vector>

#include "certificates/CertWrapper.h"
#include "certificates/CertificateSearch.h"
#include "platform/CodePage.h"

namespace pennaform::cli {

namespace {

// selected: the common name of the certificate of "MY" that findFirstMatch
// chooses with `filter` and `flags`; "" when none.
std::string selected(Engine& engine, const std::string& filter, std::int32_t flags) {
    auto store = engine.platform().stores()->openSystemStore(platform::SystemStore::kMy);
    if (!store) return "";
    signing::CertificateSearch search(engine.platform(), store->get());
    std::vector<platform::StoredCertificate> matches;
    if (search.findFirstMatch(&matches, {filter, flags, 0x80, std::nullopt}) != 0) return "";
    return CertWrapper(engine.platform(), matches.front().encoded).subjectCN();
}

}  // namespace

void demoPersonalStore(DemoContext& demo) {
    DemoRun& run = demo.run;
    Engine& engine = demo.engine;
    const std::string& home = demo.home;
    const std::string folder = home + "/certificates/";
    std::filesystem::create_directories(folder);
    auto file = [&](const std::string& name) { return folder + name; };
    const std::vector<std::string> issuer{"--issuer-cert", file("root.der"), "--issuer-key",
                                          file("root.key")};
    auto issued = [&](const std::string& name, std::vector<std::string> words) {
        words.insert(words.begin(),
                     {"cert", "--out", file(name + ".der"), "--key-out", file(name + ".key")});
        words.insert(words.end(), issuer.begin(), issuer.end());
        return runTestCa(words);
    };
    const bool made =
        runTestCa({"cert", "--ca", "--subject", "/C=TW/O=Pennaform Demo/CN=Demo Root CA", "--out",
                   file("root.der"), "--key-out", file("root.key")}) &&
        issued("wang", {"--subject", "/C=TW/O=Example Bank/OU=Retail/CN=Wang Hsiao-Ming",
                        "--serial", "0A1B2C"}) &&
        issued("li", {"--subject", "/C=TW/O=Example Bank/CN=Li Mei", "--serial", "7F",
                      "--key-usage", "digitalSignature,nonRepudiation"});
    run.check("the test CA made a root and two certificates (" + testCaProgram() + ")", made);
    bool installed = made;
    for (const char* name : {"wang", "li"}) {
        installed = installed && runTestCa({"install", "--home", home, "--store", "MY", "--cert",
                                            file(std::string(name) + ".der"), "--key",
                                            file(std::string(name) + ".key")});
    }
    run.check("both installed into the personal store, with their keys", installed);
    if (!installed) return;

    run.call("take a snapshot of the personal store", "GetIECertCount", {}, "2", 0);
    for (std::int32_t position : {1, 2}) {
        const std::string at = " of certificate " + std::to_string(position);
        run.show("subject" + at, "GetIECertSubject", {position}, {0});
        run.show("serial" + at, "GetIECertSerial", {position}, {0});
        run.show("valid from (local time)" + at, "GetIECertNotBefore", {position}, {0});
        run.show("thumbprint" + at, "GetIECertFinger", {position}, {0});
    }
    run.call("a position outside the snapshot", "GetIECertCommonName", {std::int32_t(3)}, "", 0);

    struct FilterStep {
        const char* mode;
        std::int32_t flags;
        const char* filter;
        const char* expected;  // "" when nobody should be selected
    };
    constexpr FilterStep kFilterSteps[] = {
        {"item mode", signing::searchFlags::kItemMode, "S_CN=Li//I_CN=Nobody", "Li Mei"},
        {"name-driven", 0, "S_C=TW,S_O=Example Bank,S_OU=Retail,S_CN=Wang", "Wang Hsiao-Ming"},
        // Name-driven, the certificate's country and organisation must be named.
        {"name-driven", 0, "S_CN=Li", ""},
    };
    for (const FilterStep& step : kFilterSteps) {
        const std::string chosen = selected(engine, step.filter, step.flags);
        run.check(std::string(step.mode) + ": filter \"" + step.filter + "\" selects " +
                      (chosen.empty() ? "nobody" : chosen),
                  chosen == step.expected);
    }

    run.call("delete certificate 2 from the store", "DeleteIECert", {std::int32_t(2)}, "0", 0);
    run.call("the snapshot is empty until the next count", "GetIECertSubject", {std::int32_t(1)},
             "", 0);
    run.call("count again", "GetIECertCount", {}, "1", 0);
}

}  // namespace pennaform::cli
