// The texts of the environment facts: the Windows system names, the system
// description with its provider defaults, and the adapter addresses.
#include "engine/SystemDescription.h"

#include "encoding/ErrorTable.h"
#include "platform/CodePage.h"
#include "platform/HexText.h"

namespace pennaform {
namespace {

constexpr std::string_view kVersionUnreadable = "Windows 作業系統偵測錯誤!";
constexpr std::string_view kUnknownWindows = "Windows 系統無法識別";

// A pair of names for the versions that ship as a workstation and a server.
std::string_view byProductType(const platform::OsVersion& version, std::string_view workstation,
                               std::string_view server) {
    constexpr std::uint8_t kWorkstation = 1;
    return version.productType == kWorkstation ? workstation : server;
}

std::string_view nameOfMajor4(const platform::OsVersion& version) {
    constexpr std::uint32_t kWin9x = 1, kNt = 2;
    switch (version.minor) {
        case 0:
            return version.platformId == kNt      ? "Microsoft Windows NT 4.0"
                   : version.platformId == kWin9x ? "Microsoft Windows 95"
                                                  : "";
        case 10:
            return "Microsoft Windows 98";
        case 90:
            return "Microsoft Windows Me";
        default:
            return "";
    }
}

std::string_view nameOfMajor5(const platform::OsVersion& version) {
    switch (version.minor) {
        case 0:
            return "Microsoft Windows 2000";
        case 1:
            return "Microsoft Windows XP";
        case 2:
            return byProductType(version, "Microsoft Windows XP Professional x64 Edition",
                                 version.serverR2 ? "Microsoft Windows Server 2003 R2"
                                                  : "Microsoft Windows Server 2003");
        default:
            return "";
    }
}

std::string_view nameOfMajor6(const platform::OsVersion& version) {
    switch (version.minor) {
        case 0:
            return byProductType(version, "Microsoft Windows Vista",
                                 "Microsoft Windows Server 2008");
        case 1:
            return byProductType(version, "Microsoft Windows 7",
                                 "Microsoft Windows Server 2008 R2");
        case 2:
            return byProductType(version, "Microsoft Windows 8", "Microsoft Windows Server 2012");
        case 3:
            return byProductType(version, "Microsoft Windows 8.1",
                                 "Microsoft Windows Server 2012 R2");
        default:
            return "";
    }
}

}  // namespace

std::string windowsSystemName(const platform::OsVersion& version) {
    std::string_view name;
    switch (version.major) {
        case 4:
            name = nameOfMajor4(version);
            break;
        case 5:
            name = nameOfMajor5(version);
            break;
        case 6:
            name = nameOfMajor6(version);
            break;
        case 10:
            name = version.minor == 0 ? byProductType(version, "Microsoft Windows 10",
                                                      "Microsoft Windows Server 2016")
                                      : "";
            break;
        default:
            name = kUnknownWindows;
            break;
    }
    return CodePage::process().fromUtf8(name);
}

std::string describeSystem(const platform::OsFacts* os, Enroller& enroller) {
    std::optional<platform::OsVersion> version;
    if (os != nullptr) {
        if (auto read = os->version()) version = std::move(*read);
    }
    if (!version) return CodePage::process().fromUtf8(kVersionUnreadable);
    enroller.applyOsDefaults(*version);
    std::optional<std::string> hostName = os->hostSystemName();
    return hostName ? std::move(*hostName) : windowsSystemName(*version);
}

std::string macAddressText(std::span<const platform::NetworkAdapter> adapters) {
    std::string text;
    for (const platform::NetworkAdapter& adapter : adapters) {
        if (!text.empty()) text += '\n';
        appendUpperHex(text, std::span(adapter.address).first(6), '-');
    }
    return text;
}

}  // namespace pennaform
