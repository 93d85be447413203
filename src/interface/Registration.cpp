#include "interface/Registration.h"

#include <array>
#include <string>

namespace pennaform {
namespace {

using platform::Hive;
using platform::Status;

constexpr std::string_view kModuleMark = "%MODULE%";

// One line of the registration script: a key of the classes hive and,
// unless `value` is null, one of its string values ("" names the default).
struct ScriptLine {
    std::string_view key;
    std::string_view valueName;
    const char* value;
};

#define PENNAFORM_CLSID "{5C2E9B71-3D04-4A8F-B6E2-19D7C0A40001}"
#define PENNAFORM_LIBID "{8E13F6A2-7B59-4C0D-9A34-2F61D8E50002}"
#define PENNAFORM_CLSID_KEY "CLSID\\" PENNAFORM_CLSID
#define PENNAFORM_TYPELIB_KEY "TypeLib\\" PENNAFORM_LIBID

// The keys removed before registering and on unregistering, as trees.
constexpr std::array<std::string_view, 2> kRemadeKeys = {PENNAFORM_CLSID_KEY,
                                                         PENNAFORM_TYPELIB_KEY "\\1.0"};
constexpr std::array<std::string_view, 4> kRemovedKeys = {
    "Pennaform.CAPI.1", "Pennaform.CAPI", PENNAFORM_CLSID_KEY, PENNAFORM_TYPELIB_KEY};

// The script in the order it is applied. MiscStatus\1 holds the OLEMISC bits
// SETCLIENTSITEFIRST, ACTIVATEWHENVISIBLE, INSIDEOUT, CANTLINKINSIDE and
// RECOMPOSEONRESIZE (131072 + 256 + 128 + 16 + 1). There is no type-library
// resource on this platform: the TypeLib keys name the library and its
// version only.
constexpr ScriptLine kScript[] = {
    {"Pennaform.CAPI.1", "", "Pennaform Class"},
    {"Pennaform.CAPI.1\\CLSID", "", PENNAFORM_CLSID},
    {"Pennaform.CAPI", "", "Pennaform Class"},
    {"Pennaform.CAPI\\CLSID", "", PENNAFORM_CLSID},
    {"Pennaform.CAPI\\CurVer", "", "Pennaform.CAPI.1"},
    {PENNAFORM_CLSID_KEY, "", "Pennaform Class"},
    {PENNAFORM_CLSID_KEY "\\ProgID", "", "Pennaform.CAPI.1"},
    {PENNAFORM_CLSID_KEY "\\VersionIndependentProgID", "", "Pennaform.CAPI"},
    {PENNAFORM_CLSID_KEY "\\Programmable", "", nullptr},
    {PENNAFORM_CLSID_KEY "\\Control", "", nullptr},
    {PENNAFORM_CLSID_KEY "\\Insertable", "", nullptr},
    {PENNAFORM_CLSID_KEY "\\InprocServer32", "", "%MODULE%"},
    {PENNAFORM_CLSID_KEY "\\InprocServer32", "ThreadingModel", "Apartment"},
    {PENNAFORM_CLSID_KEY "\\ToolboxBitmap32", "", "%MODULE%, 102"},
    {PENNAFORM_CLSID_KEY "\\MiscStatus", "", "0"},
    {PENNAFORM_CLSID_KEY "\\MiscStatus\\1", "", "131473"},
    {PENNAFORM_CLSID_KEY "\\TypeLib", "", PENNAFORM_LIBID},
    {PENNAFORM_CLSID_KEY "\\Version", "", "1.0"},
    {PENNAFORM_TYPELIB_KEY "\\1.0", "", "Pennaform 1.0 Type Library"},
    {PENNAFORM_TYPELIB_KEY "\\1.0\\FLAGS", "", "0"},
};

#undef PENNAFORM_TYPELIB_KEY
#undef PENNAFORM_CLSID_KEY
#undef PENNAFORM_LIBID
#undef PENNAFORM_CLSID

std::string withModule(std::string_view value, std::string_view modulePath) {
    std::string text(value);
    std::size_t at = text.find(kModuleMark);
    if (at != std::string::npos) text.replace(at, kModuleMark.size(), modulePath);
    return text;
}

Status removeTree(platform::Registry& registry, std::string_view key) {
    Status removed = registry.deleteKeyTree(Hive::kClassesRoot, key);
    if (!removed && removed.error() == platform::errors::kErrorFileNotFound) {
        return Status::success();
    }
    return removed;
}

// applyLine: the line's key, then its value as REG_SZ with its terminator,
// as the registry keeps strings written by the system.
Status applyLine(platform::Registry& registry, const ScriptLine& line,
                 std::string_view modulePath) {
    auto key = registry.createKeyIn(Hive::kClassesRoot, line.key);
    if (!key) return key.failure();
    if (line.value == nullptr) return Status::success();
    std::string text = withModule(line.value, modulePath);
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.c_str());
    return (*key)->setValue(line.valueName, platform::ValueType::kString, {bytes, text.size() + 1});
}

}  // namespace

Status registerControl(platform::Registry& registry, std::string_view modulePath) {
    for (std::string_view key : kRemadeKeys) {
        Status removed = removeTree(registry, key);
        if (!removed) return removed;
    }
    for (const ScriptLine& line : kScript) {
        Status applied = applyLine(registry, line, modulePath);
        if (!applied) return applied;
    }
    return Status::success();
}

Status unregisterControl(platform::Registry& registry) {
    for (std::string_view key : kRemovedKeys) {
        Status removed = removeTree(registry, key);
        if (!removed) return removed;
    }
    return Status::success();
}

}  // namespace pennaform
