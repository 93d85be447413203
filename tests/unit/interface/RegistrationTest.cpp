// The control's registration in the classes hive: what registering writes,
// that registering again leaves one CLSID key, and what unregistering leaves.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "interface/Registration.h"
#include "platform/PlatformFactory.h"
#include "support/TemporaryFolder.h"

namespace pennaform {
namespace {

using platform::Hive;

constexpr const char* kClsidKey = "CLSID\\{5C2E9B71-3D04-4A8F-B6E2-19D7C0A40001}";

class Registration : public ::testing::Test {
protected:
    Registration() : platform_(platform::makePlatform(platform::StateHome(folder_.sub("state")))) {}

    platform::Registry& registry() { return *platform_->registry(); }

    std::vector<std::string> subkeys(const std::string& path) {
        std::vector<std::string> names;
        auto key = registry().openKey(Hive::kClassesRoot, path);
        if (!key) return names;
        for (std::uint32_t i = 0;; ++i) {
            auto name = (*key)->subkeyName(i);
            if (!name) return names;
            names.push_back(*name);
        }
    }

    // text: a string value as RegReadHKCU shows it ("" when missing).
    std::string text(const std::string& path, const std::string& name = "") {
        auto key = registry().openKey(Hive::kCurrentUser, "Software\\Classes\\" + path);
        if (!key) return "<no key>";
        auto value = (*key)->queryValue(name);
        if (!value || value->type != platform::ValueType::kString) return "<no value>";
        std::string data(value->data.begin(), value->data.end());
        return data.substr(0, data.find('\0'));
    }

    test::TemporaryFolder folder_;
    std::unique_ptr<platform::Platform> platform_;
};

TEST_F(Registration, RegisteringTwiceLeavesOneClsidKeyWithTheScriptsValues) {
    // A stale subkey from an older registration goes with the CLSID key.
    ASSERT_TRUE(
        registry().createKeyIn(Hive::kClassesRoot, std::string(kClsidKey) + "\\Stale").ok());
    ASSERT_TRUE(registry().createKeyIn(Hive::kClassesRoot, "CLSID\\{Another}").ok());
    ASSERT_TRUE(registerControl(registry(), "/opt/old/libpennaform.so").ok());
    ASSERT_TRUE(registerControl(registry(), "/usr/lib/libpennaform.so").ok());

    EXPECT_EQ(subkeys("CLSID"),
              (std::vector<std::string>{"{5C2E9B71-3D04-4A8F-B6E2-19D7C0A40001}", "{Another}"}));
    EXPECT_EQ(subkeys(kClsidKey),
              (std::vector<std::string>{"Control", "InprocServer32", "Insertable", "MiscStatus",
                                        "ProgID", "Programmable", "ToolboxBitmap32", "TypeLib",
                                        "Version", "VersionIndependentProgID"}));
    const std::string clsid = kClsidKey;
    const std::map<std::pair<std::string, std::string>, std::string> expected = {
        {{"Pennaform.CAPI.1", ""}, "Pennaform Class"},
        {{"Pennaform.CAPI.1\\CLSID", ""}, "{5C2E9B71-3D04-4A8F-B6E2-19D7C0A40001}"},
        {{"Pennaform.CAPI", ""}, "Pennaform Class"},
        {{"Pennaform.CAPI\\CLSID", ""}, "{5C2E9B71-3D04-4A8F-B6E2-19D7C0A40001}"},
        {{"Pennaform.CAPI\\CurVer", ""}, "Pennaform.CAPI.1"},
        {{clsid, ""}, "Pennaform Class"},
        {{clsid + "\\ProgID", ""}, "Pennaform.CAPI.1"},
        {{clsid + "\\VersionIndependentProgID", ""}, "Pennaform.CAPI"},
        {{clsid + "\\Programmable", ""}, "<no value>"},
        {{clsid + "\\InprocServer32", ""}, "/usr/lib/libpennaform.so"},
        {{clsid + "\\InprocServer32", "ThreadingModel"}, "Apartment"},
        {{clsid + "\\ToolboxBitmap32", ""}, "/usr/lib/libpennaform.so, 102"},
        {{clsid + "\\MiscStatus", ""}, "0"},
        {{clsid + "\\MiscStatus\\1", ""}, "131473"},
        {{clsid + "\\TypeLib", ""}, "{8E13F6A2-7B59-4C0D-9A34-2F61D8E50002}"},
        {{clsid + "\\Version", ""}, "1.0"},
        {{"TypeLib\\{8E13F6A2-7B59-4C0D-9A34-2F61D8E50002}\\1.0", ""},
         "Pennaform 1.0 Type Library"},
    };
    for (const auto& [where, value] : expected) {
        EXPECT_EQ(text(where.first, where.second), value) << where.first << " " << where.second;
    }
}

TEST_F(Registration, UnregisteringRemovesWhatRegisteringAddedAndKeepsTheRoots) {
    ASSERT_TRUE(registry().createKeyIn(Hive::kClassesRoot, "CLSID\\{Another}").ok());
    ASSERT_TRUE(registerControl(registry(), "/usr/lib/libpennaform.so").ok());
    ASSERT_TRUE(unregisterControl(registry()).ok());
    for (const char* gone : {"Pennaform.CAPI.1", "Pennaform.CAPI", kClsidKey,
                             "TypeLib\\{8E13F6A2-7B59-4C0D-9A34-2F61D8E50002}"}) {
        EXPECT_EQ(registry().openKey(Hive::kClassesRoot, gone).error(),
                  platform::errors::kErrorFileNotFound)
            << gone;
    }
    EXPECT_EQ(subkeys("CLSID"), (std::vector<std::string>{"{Another}"}));
    EXPECT_TRUE(registry().openKey(Hive::kClassesRoot, "TypeLib").ok());
    // Nothing left to remove is not a failure; neither is an empty CLSID root.
    EXPECT_TRUE(unregisterControl(registry()).ok());
    ASSERT_TRUE(registry().deleteKeyTree(Hive::kClassesRoot, "CLSID\\{Another}").ok());
    ASSERT_TRUE(registerControl(registry(), "/x.so").ok());
    ASSERT_TRUE(unregisterControl(registry()).ok());
    EXPECT_TRUE(registry().openKey(Hive::kClassesRoot, "CLSID").ok());
}

}  // namespace
}  // namespace pennaform
