// The registry operations through the Engine: addressing, the value types and
// their texts, the error fields, the machine hive and protected mode.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "engine/Engine.h"
#include "platform/CodePage.h"
#include "support/TemporaryFolder.h"

namespace pennaform {
namespace {

using platform::Bytes;
using platform::ValueType;

// MachineHomeVariable: PENNAFORM_MACHINE_HOME set for the test's Engines,
// restored afterwards.
class MachineHomeVariable {
public:
    explicit MachineHomeVariable(const std::string& folder) {
        const char* value = std::getenv("PENNAFORM_MACHINE_HOME");
        if (value != nullptr) saved_ = value;
        setenv("PENNAFORM_MACHINE_HOME", folder.c_str(), 1);
    }
    ~MachineHomeVariable() {
        if (saved_)
            setenv("PENNAFORM_MACHINE_HOME", saved_->c_str(), 1);
        else
            unsetenv("PENNAFORM_MACHINE_HOME");
    }

private:
    std::optional<std::string> saved_;
};

class RegistryValues : public ::testing::Test {
protected:
    std::string read(Engine& engine, std::u16string_view name) {
        return utf16ToUtf8(engine.RegReadHKCU(name));
    }
    std::string read(std::u16string_view name) { return read(engine_, name); }
    // putRaw: a value of any type, written past the operations.
    void putRaw(std::string_view key, std::string_view name, ValueType type, Bytes data) {
        auto created = engine_.platform().registry()->createKey(key);
        ASSERT_TRUE(created.ok());
        ASSERT_TRUE((*created)->setValue(name, type, data).ok());
    }

    test::TemporaryFolder folder_;
    MachineHomeVariable machineHome_{folder_.sub("machine")};
    std::string home_ = folder_.sub("home");
    Engine engine_{EngineConfig{home_}};
};

TEST_F(RegistryValues, TheAddressSplitsAtItsLastBackslash) {
    EXPECT_EQ(engine_.RegWriteHKCUStr(u"Settings\\Mode", u"settings-mode"), 0);
    EXPECT_EQ(engine_.RegWriteHKCUStr(u"Group\\Sub\\Item", u"group-sub-item"), 0);
    EXPECT_EQ(engine_.RegWriteHKCUStr(u"\\Mode", u"root-mode"), 0);
    EXPECT_EQ(engine_.RegWriteHKCUStr(u"Settings\\", u"settings-default"), 0);

    EXPECT_EQ(read(u"Settings\\Mode"), "settings-mode");
    EXPECT_EQ(read(u"Group\\Sub\\Item"), "group-sub-item");
    EXPECT_EQ(read(u"\\Mode"), "root-mode");
    EXPECT_EQ(read(u"Settings\\"), "settings-default");
    EXPECT_EQ(read(u"Group\\Sub\\"), "") << "Item is not the default value";
    EXPECT_EQ(engine_.GetErrorCode(), 0);
    EXPECT_EQ(read(u"SETTINGS\\mode"), "settings-mode") << "names ignore letter case";
    EXPECT_EQ(read(u"group\\SUB\\item"), "group-sub-item");

    auto group = engine_.platform().registry()->openKey(platform::Hive::kCurrentUser, "Group");
    ASSERT_TRUE(group.ok());
    EXPECT_EQ(*(*group)->subkeyName(0), "Sub");
}

TEST_F(RegistryValues, AnAddressWithoutBackslashTouchesNothing) {
    for (std::u16string_view address : {std::u16string_view(u"Mode"), std::u16string_view(u""),
                                        std::u16string_view(u"\0\\Mode", 6)}) {
        EXPECT_EQ(engine_.RegWriteHKCUStr(address, u"x"), 5005);
        EXPECT_EQ(engine_.RegWriteHKCUInt(address, 1), 5005);
        EXPECT_EQ(read(address), "");
        EXPECT_EQ(engine_.GetErrorCode(), 5005);
        EXPECT_EQ(utf16ToUtf8(engine_.RegReadHKLM(address)), "");
        EXPECT_EQ(engine_.GetErrorCode(), 5005);
    }
    EXPECT_FALSE(std::filesystem::exists(home_)) << "nothing was written";
}

TEST_F(RegistryValues, DwordsReadInSignedDecimal) {
    const std::pair<std::int32_t, std::string> numbers[] = {
        {std::int32_t(4294967295u), "-1"},          {0, "0"},       {2147483647, "2147483647"},
        {std::int32_t(0x80000000u), "-2147483648"}, {1234, "1234"},
    };
    for (const auto& [number, text] : numbers) {
        EXPECT_EQ(engine_.RegWriteHKCUInt(u"Numbers\\Value", number), 0);
        EXPECT_EQ(read(u"Numbers\\Value"), text);
    }
    auto key = engine_.platform().registry()->openKey(platform::Hive::kCurrentUser, "Numbers");
    ASSERT_TRUE(key.ok());
    auto stored = (*key)->queryValue("Value");
    EXPECT_EQ(stored->type, ValueType::kDword);
    EXPECT_EQ(stored->data, (Bytes{0xD2, 0x04, 0, 0})) << "little-endian";
}

TEST_F(RegistryValues, StringsUpTo255BytesReadBack) {
    for (std::size_t length : {0u, 1u, 254u, 255u}) {
        std::u16string text(length, u'a');
        EXPECT_EQ(engine_.RegWriteHKCUStr(u"Strings\\Value", text), 0);
        EXPECT_EQ(read(u"Strings\\Value"), std::string(length, 'a')) << length;
        EXPECT_EQ(engine_.GetErrorCode(), 0);
    }
    for (std::size_t length : {256u, 300u, 5000u}) {
        EXPECT_EQ(engine_.RegWriteHKCUStr(u"Strings\\Value", std::u16string(length, u'a')), 0);
        EXPECT_EQ(read(u"Strings\\Value"), "") << length;
        EXPECT_EQ(engine_.GetErrorCode(), 0);
    }
    // The limit counts bytes in the code page: 85 three-byte characters fit.
    std::u16string chinese(85, u'中');
    EXPECT_EQ(engine_.RegWriteHKCUStr(u"Strings\\Chinese", chinese), 0);
    EXPECT_EQ(engine_.RegReadHKCU(u"Strings\\Chinese"), chinese);
    EXPECT_EQ(engine_.RegWriteHKCUStr(u"Strings\\Chinese", chinese + u"中"), 0);
    EXPECT_EQ(read(u"Strings\\Chinese"), "");
}

TEST_F(RegistryValues, StringsAreStoredWithoutTerminator) {
    EXPECT_EQ(engine_.RegWriteHKCUStr(u"Strings\\Plain", u"abc"), 0);
    EXPECT_EQ(engine_.RegWriteHKCUStr(u"Strings\\Empty", u""), 0);
    auto key = engine_.platform().registry()->openKey(platform::Hive::kCurrentUser, "Strings");
    ASSERT_TRUE(key.ok());
    EXPECT_EQ((*key)->queryValue("Plain")->data, (Bytes{'a', 'b', 'c'}));
    EXPECT_EQ((*key)->queryValue("Plain")->type, ValueType::kString);
    EXPECT_TRUE((*key)->queryValue("Empty")->data.empty());
    EXPECT_EQ(read(u"Strings\\Empty"), "");
    EXPECT_EQ(engine_.GetErrorCode(), 0);
}

TEST_F(RegistryValues, TextsEndAtTheirFirstNul) {
    EXPECT_EQ(engine_.RegWriteHKCUStr(std::u16string_view(u"Nul\\Name\0ignored", 16),
                                      std::u16string_view(u"kept\0dropped", 12)),
              0);
    EXPECT_EQ(read(u"Nul\\Name"), "kept");
    putRaw("Nul", "Inside", ValueType::kString, Bytes{'a', 0, 'b'});
    EXPECT_EQ(read(u"Nul\\Inside"), "a");
}

TEST_F(RegistryValues, OtherTypesAndOddSizesReadAsEmpty) {
    putRaw("Types", "Binary", ValueType::kBinary, Bytes{'t', 'e', 'x', 't'});
    putRaw("Types", "Expand", ValueType::kExpandString, Bytes{'%', 'H', '%'});
    putRaw("Types", "Multi", ValueType::kMultiString, Bytes{'a', 0, 'b', 0, 0});
    putRaw("Types", "Qword", ValueType(11), Bytes{1, 0, 0, 0, 0, 0, 0, 0});
    putRaw("Types", "LongDword", ValueType::kDword, Bytes{1, 0, 0, 0, 0});
    putRaw("Types", "ShortDword", ValueType::kDword, Bytes{0xFF, 0xFF});
    putRaw("Types", "EmptyDword", ValueType::kDword, Bytes{});
    for (const char16_t* name : {u"Types\\Binary", u"Types\\Expand", u"Types\\Multi",
                                 u"Types\\Qword", u"Types\\LongDword"}) {
        EXPECT_EQ(read(name), "") << utf16ToUtf8(name);
        EXPECT_EQ(engine_.GetErrorCode(), 0);
    }
    EXPECT_EQ(read(u"Types\\ShortDword"), "65535") << "the missing upper bytes are zero";
    EXPECT_EQ(read(u"Types\\EmptyDword"), "0");
}

TEST_F(RegistryValues, MissingKeysAre5906AndMissingValuesEmpty) {
    EXPECT_EQ(read(u"Nowhere\\Mode"), "");
    EXPECT_EQ(engine_.GetErrorCode(), 5906);
    EXPECT_EQ(engine_.RegWriteHKCUInt(u"Somewhere\\Mode", 1), 0);
    EXPECT_EQ(read(u"Somewhere\\Other"), "");
    EXPECT_EQ(engine_.GetErrorCode(), 0);
    EXPECT_EQ(read(u"\\Mode"), "") << "the root always exists";
    EXPECT_EQ(engine_.GetErrorCode(), 0);
}

TEST_F(RegistryValues, ErrorCodeIsClearedOnEntryAndThePlatformErrorLeftAlone) {
    engine_.setErrorCode(5004);
    engine_.setCapiError(0x80090016u);
    EXPECT_EQ(engine_.RegWriteHKCUInt(u"K\\V", 5), 0);
    EXPECT_EQ(read(u"K\\V"), "5");
    EXPECT_EQ(engine_.GetErrorCode(), 0);
    read(u"Missing\\V");
    EXPECT_EQ(engine_.GetErrorCode(), 5906);
    EXPECT_EQ(engine_.GetCapiErrorCode(), std::int32_t(0x80090016u));
}

TEST_F(RegistryValues, AStoreThatCannotBeWrittenIs5906) {
    std::ofstream(folder_.sub("file")) << "in the way";
    Engine blocked(EngineConfig{folder_.sub("file") + "/home"});
    EXPECT_EQ(blocked.RegWriteHKCUStr(u"K\\V", u"x"), 5906);
    EXPECT_EQ(blocked.RegWriteHKCUInt(u"\\V", 1), 5906);
    EXPECT_EQ(blocked.GetErrorCode(), 5906);
    EXPECT_EQ(blocked.GetCapiErrorCode(), 0);
    EXPECT_EQ(read(blocked, u"\\V"), "");
    EXPECT_EQ(blocked.GetErrorCode(), 0);
}

TEST_F(RegistryValues, AnotherEngineOnTheSameHomeReadsTheValues) {
    EXPECT_EQ(engine_.RegWriteHKCUStr(u"Shared\\Greeting", u"你好"), 0);
    Engine other(EngineConfig{home_});
    EXPECT_EQ(other.RegReadHKCU(u"shared\\greeting"), u"你好");
    Engine elsewhere(EngineConfig{folder_.sub("other-home")});
    EXPECT_EQ(elsewhere.RegReadHKCU(u"Shared\\Greeting"), u"");
    EXPECT_EQ(elsewhere.GetErrorCode(), 5906);
}

TEST_F(RegistryValues, MachineHiveReadsButIsNeverWritten) {
    // A missing machine hive is an empty one.
    EXPECT_EQ(engine_.RegReadHKLM(u"\\Mode"), u"");
    EXPECT_EQ(engine_.GetErrorCode(), 0);
    EXPECT_EQ(engine_.RegReadHKLM(u"Software\\Mode"), u"");
    EXPECT_EQ(engine_.GetErrorCode(), 5906);

    // Install one as the README says: values written under a scratch home,
    // then copied with VACUUM INTO.
    Engine scratch(EngineConfig{folder_.sub("scratch")});
    ASSERT_EQ(scratch.RegWriteHKCUStr(u"Software\\QUVO\\Mode", u"central"), 0);
    ASSERT_EQ(scratch.RegWriteHKCUInt(u"Software\\QUVO\\Limit", -5), 0);
    std::filesystem::create_directory(folder_.sub("machine"));
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open((folder_.sub("scratch") + "/pennaform.db").c_str(), &db), SQLITE_OK);
    std::string copy = "VACUUM INTO '" + folder_.sub("machine") + "/machine.db'";
    EXPECT_EQ(sqlite3_exec(db, copy.c_str(), nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(db);

    Engine engine(EngineConfig{home_});
    EXPECT_EQ(engine.RegReadHKLM(u"software\\quvo\\MODE"), u"central");
    EXPECT_EQ(engine.RegReadHKLM(u"Software\\QUVO\\Limit"), u"-5");
    EXPECT_EQ(engine.GetErrorCode(), 0);
    EXPECT_EQ(engine.RegReadHKCU(u"Software\\QUVO\\Mode"), u"") << "the user hive is apart";
    EXPECT_EQ(engine.GetErrorCode(), 5906);
    EXPECT_EQ(engine.RegWriteHKCUStr(u"Software\\QUVO\\Mode", u"mine"), 0);
    EXPECT_EQ(engine.RegReadHKLM(u"Software\\QUVO\\Mode"), u"central");
}

TEST_F(RegistryValues, ProtectedModeRefusesAfterTheAddressChecks) {
    Engine engine(EngineConfig{home_, true});
    EXPECT_EQ(engine.RegWriteHKCUStr(u"Mode", u"x"), 5005);
    EXPECT_EQ(engine.RegReadHKCU(u""), u"");
    EXPECT_EQ(engine.GetErrorCode(), 5005);
    EXPECT_EQ(engine.RegWriteHKCUStr(u"Settings\\Mode", u"x"), 1500);
    EXPECT_EQ(engine.RegWriteHKCUInt(u"Settings\\Mode", 1), 1500);
    EXPECT_EQ(engine.RegReadHKCU(u"Settings\\Mode"), u"");
    EXPECT_EQ(engine.GetErrorCode(), 1500);
    EXPECT_EQ(engine.RegReadHKLM(u"\\Mode"), u"");
    EXPECT_EQ(engine.GetErrorCode(), 1500);
    EXPECT_FALSE(std::filesystem::exists(home_)) << "nothing was written";
}

}  // namespace
}  // namespace pennaform
