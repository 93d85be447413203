// dialog_driver: runs one dialog operation on the terminal host and prints
// its outcome, for tests that play the user on a pseudo-terminal.
//   dialog_driver [--detach] askPfxFile FOLDER NAME PASSWORD MIN MAX
//   dialog_driver [--detach] askPassword
//   dialog_driver [--detach] pick DER-FILE...
//   dialog_driver [--detach] chooseFile TITLE
// --detach leaves the controlling terminal first (a new session), as a
// daemon or a CI job runs.
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "ui/DialogOperations.h"
#include "ui/hosts/posix/TerminalDialogHost.h"

namespace {

using namespace pennaform;

int askPfxFile(platform::PlatformDialogs& host, char** args) {
    std::string folder = args[0], name = args[1], password = args[2];
    int code = ui::askPfxFile(host, folder, name, password, std::stoi(args[3]), std::stoi(args[4]));
    std::printf("code=%d folder=%s name=%s password=%s\n", code, folder.c_str(), name.c_str(),
                password.c_str());
    return 0;
}

int askPassword(platform::PlatformDialogs& host) {
    std::string password;
    int code = ui::askPassword(host, password);
    std::printf("code=%d password=%s\n", code, password.c_str());
    return 0;
}

int pick(platform::PlatformDialogs& host, int count, char** files) {
    std::vector<ui::CertificateRow> rows;
    for (int i = 0; i < count; ++i) {
        std::ifstream in(files[i], std::ios::binary);
        ui::CertificateRow& row = rows.emplace_back();
        row.holder = "Holder " + std::to_string(i + 1);
        row.serial = "0" + std::to_string(i + 1);
        row.issuer = "Test CA";
        row.der.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    ui::PickResult result = ui::pickCertificate(host, rows);
    std::printf("code=%d position=%zu\n", result.code, result.position);
    return 0;
}

int chooseFile(platform::PlatformDialogs& host, const char* title) {
    auto chosen = host.chooseFile({title, {{"All Files (*.*)", "*.*"}}, ""});
    std::printf("error=%u path=%s\n", unsigned(chosen.error()), chosen ? chosen->c_str() : "");
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    int first = 1;
    if (argc > 1 && std::string(argv[1]) == "--detach") {
        if (setsid() < 0) return 3;
        first = 2;
    }
    if (argc <= first) return 2;
    std::string operation = argv[first];
    char** args = argv + first + 1;
    int count = argc - first - 1;
    ui::TerminalDialogHost host;
    if (operation == "askPfxFile" && count == 5) return askPfxFile(host, args);
    if (operation == "askPassword" && count == 0) return askPassword(host);
    if (operation == "pick") return pick(host, count, args);
    if (operation == "chooseFile" && count == 1) return chooseFile(host, args[0]);
    return 2;
}
