#include "RegistryConformance.h"

#include <string_view>
#include <vector>

namespace pennaform::platform::test {
namespace {

Bytes bytesOf(std::string_view text) {
    return Bytes(text.begin(), text.end());
}

std::unique_ptr<RegistryKey> created(Registry& registry, std::string_view path) {
    auto key = registry.createKey(path);
    EXPECT_TRUE(key.ok()) << path << " error " << key.error();
    return key.ok() ? std::move(*key) : nullptr;
}

std::vector<std::string> subkeys(const RegistryKey& key) {
    std::vector<std::string> names;
    for (std::uint32_t i = 0;; ++i) {
        auto name = key.subkeyName(i);
        if (!name) {
            EXPECT_EQ(name.error(), errors::kErrorNoMoreItems);
            return names;
        }
        names.push_back(*name);
    }
}

TEST_P(RegistryConformance, ValuesKeepTheirTypeAndBytes) {
    auto key = created(*registry_, "Software\\Test");
    ASSERT_TRUE(key);
    const std::vector<RegistryValue> values = {
        {ValueType::kBinary, Bytes{0x00, 0xFF, 0x00, 0x10}},
        {ValueType::kDword, Bytes{0xFF, 0xFF, 0xFF, 0xFF}},
        {ValueType::kString, bytesOf("no terminator")},
        {ValueType::kString, Bytes{'t', 'e', 'r', 'm', 0}},
        {ValueType::kExpandString, bytesOf("%HOME%/x")},
        {ValueType::kMultiString, Bytes{'a', 0, 'b', 'c', 0, 0}},
        {ValueType::kNone, Bytes{1, 2, 3}},
        {ValueType(11), Bytes{1, 2, 3, 4, 5, 6, 7, 8}},  // REG_QWORD
        {ValueType(0xFFFFFFFFu), Bytes{}},
        {ValueType::kString, Bytes{}},
        {ValueType::kString, bytesOf("中文 ÄÖÜ")},
    };
    for (std::size_t i = 0; i < values.size(); ++i) {
        std::string name = "v" + std::to_string(i);
        ASSERT_TRUE(key->setValue(name, values[i].type, values[i].data).ok()) << name;
    }
    std::unique_ptr<Registry> another = harness_->open();
    for (Registry* reader : {registry_.get(), another.get()}) {
        auto reopened = reader->openKey(Hive::kCurrentUser, "Software\\Test");
        ASSERT_TRUE(reopened.ok());
        for (std::size_t i = 0; i < values.size(); ++i) {
            auto read = (*reopened)->queryValue("v" + std::to_string(i));
            ASSERT_TRUE(read.ok()) << i;
            EXPECT_EQ(read->type, values[i].type) << i;
            EXPECT_EQ(read->data, values[i].data) << i;
        }
    }
}

TEST_P(RegistryConformance, NamesIgnoreLetterCaseAndKeepTheirFirstCase) {
    auto key = created(*registry_, "Software\\MixedCase\\Child");
    ASSERT_TRUE(key);
    ASSERT_TRUE(key->setValue("Mode", ValueType::kString, bytesOf("fast")).ok());
    ASSERT_TRUE(key->setValue("MODE", ValueType::kString, bytesOf("slow")).ok());  // replaces

    auto same = registry_->openKey(Hive::kCurrentUser, "SOFTWARE\\mixedcase\\CHILD");
    ASSERT_TRUE(same.ok());
    auto value = (*same)->queryValue("mode");
    ASSERT_TRUE(value.ok());
    EXPECT_EQ(value->data, bytesOf("slow"));

    // Creating it again under another case opens the same key, keeping the
    // names as first written.
    ASSERT_TRUE(created(*registry_, "software\\MIXEDCASE"));
    auto software = registry_->openKey(Hive::kCurrentUser, "Software");
    ASSERT_TRUE(software.ok());
    EXPECT_EQ(subkeys(**software), std::vector<std::string>{"MixedCase"});
}

TEST_P(RegistryConformance, LettersBeyondAsciiIgnoreCaseToo) {
    auto key = created(*registry_, "Größe\\Ärger");
    ASSERT_TRUE(key);
    ASSERT_TRUE(key->setValue("Übel", ValueType::kDword, Bytes{1, 0, 0, 0}).ok());
    auto same = registry_->openKey(Hive::kCurrentUser, "GRÖSSE\\ärger");
    EXPECT_FALSE(same.ok()) << "ß does not become SS: names fold one character at a time";
    same = registry_->openKey(Hive::kCurrentUser, "GRößE\\ÄRGER");
    ASSERT_TRUE(same.ok());
    EXPECT_TRUE((*same)->queryValue("üBEL").ok());
}

TEST_P(RegistryConformance, DefaultValueIsTheEmptyName) {
    auto key = created(*registry_, "Settings");
    ASSERT_TRUE(key);
    EXPECT_EQ(key->queryValue("").error(), errors::kErrorFileNotFound);
    ASSERT_TRUE(key->setValue("", ValueType::kString, bytesOf("default")).ok());
    ASSERT_TRUE(key->setValue("Named", ValueType::kString, bytesOf("named")).ok());
    EXPECT_EQ(key->queryValue("")->data, bytesOf("default"));
    EXPECT_EQ(key->queryValue("Named")->data, bytesOf("named"));

    // The root key holds values of its own.
    auto root = registry_->openKey(Hive::kCurrentUser, "");
    ASSERT_TRUE(root.ok());
    EXPECT_EQ((*root)->queryValue("Named").error(), errors::kErrorFileNotFound);
    ASSERT_TRUE((*root)->setValue("Named", ValueType::kDword, Bytes{7, 0, 0, 0}).ok());
    EXPECT_EQ((*root)->queryValue("NAMED")->data, (Bytes{7, 0, 0, 0}));
    EXPECT_EQ(key->queryValue("Named")->data, bytesOf("named"));
}

TEST_P(RegistryConformance, CreateMakesEveryMissingKeyAndOpenFindsOnlyExistingOnes) {
    EXPECT_EQ(registry_->openKey(Hive::kCurrentUser, "A").error(), errors::kErrorFileNotFound);
    ASSERT_TRUE(created(*registry_, "A\\B\\C"));
    EXPECT_TRUE(registry_->openKey(Hive::kCurrentUser, "A").ok());
    EXPECT_TRUE(registry_->openKey(Hive::kCurrentUser, "A\\B").ok());
    EXPECT_TRUE(registry_->openKey(Hive::kCurrentUser, "A\\B\\C").ok());
    EXPECT_EQ(registry_->openKey(Hive::kCurrentUser, "A\\C").error(), errors::kErrorFileNotFound);
    EXPECT_EQ(registry_->openKey(Hive::kCurrentUser, "A\\B\\C\\D").error(),
              errors::kErrorFileNotFound);
    // Empty names between backslashes are skipped.
    EXPECT_TRUE(registry_->openKey(Hive::kCurrentUser, "\\A\\\\B\\").ok());
    EXPECT_TRUE(registry_->openKey(Hive::kCurrentUser, "\\\\").ok());
}

TEST_P(RegistryConformance, SubkeysEnumerateInAscendingOrderIgnoringCase) {
    for (const char* path :
         {"Root\\delta", "Root\\Bravo", "Root\\alpha\\Deep", "Root\\Charlie", "Other\\Zulu"}) {
        ASSERT_TRUE(created(*registry_, path));
    }
    auto root = registry_->openKey(Hive::kCurrentUser, "Root");
    ASSERT_TRUE(root.ok());
    EXPECT_EQ(subkeys(**root), (std::vector<std::string>{"alpha", "Bravo", "Charlie", "delta"}));
    auto top = registry_->openKey(Hive::kCurrentUser, "");
    ASSERT_TRUE(top.ok());
    EXPECT_EQ(subkeys(**top), (std::vector<std::string>{"Other", "Root"}));
    auto leaf = registry_->openKey(Hive::kCurrentUser, "Root\\alpha\\deep");
    ASSERT_TRUE(leaf.ok());
    EXPECT_TRUE(subkeys(**leaf).empty());
}

TEST_P(RegistryConformance, DeleteRemovesOneValue) {
    auto key = created(*registry_, "Del");
    ASSERT_TRUE(key);
    ASSERT_TRUE(key->setValue("a", ValueType::kDword, Bytes{1, 0, 0, 0}).ok());
    ASSERT_TRUE(key->setValue("b", ValueType::kDword, Bytes{2, 0, 0, 0}).ok());
    EXPECT_TRUE(key->deleteValue("A").ok());
    EXPECT_EQ(key->deleteValue("a").error(), errors::kErrorFileNotFound);
    EXPECT_EQ(key->queryValue("a").error(), errors::kErrorFileNotFound);
    EXPECT_TRUE(key->queryValue("b").ok());
}

TEST_P(RegistryConformance, NameLengthAndDepthLimits) {
    std::string longest(255, 'k');
    EXPECT_TRUE(registry_->createKey(longest).ok());
    EXPECT_EQ(registry_->createKey(longest + "k").error(), errors::kErrorInvalidParameter);
    EXPECT_EQ(registry_->openKey(Hive::kCurrentUser, longest + "k").error(),
              errors::kErrorInvalidParameter);

    std::string deep;
    for (int i = 0; i < 512; ++i) deep += (i ? "\\n" : "n") + std::to_string(i);
    EXPECT_TRUE(registry_->createKey(deep).ok());
    EXPECT_EQ(registry_->createKey(deep + "\\more").error(), errors::kErrorInvalidParameter);

    auto key = created(*registry_, "Limits");
    ASSERT_TRUE(key);
    std::string valueName(16383, 'v');
    EXPECT_TRUE(key->setValue(valueName, ValueType::kDword, Bytes{1, 0, 0, 0}).ok());
    EXPECT_TRUE(key->queryValue(valueName).ok());
    EXPECT_EQ(key->setValue(valueName + "v", ValueType::kDword, Bytes{}).error(),
              errors::kErrorInvalidParameter);
    EXPECT_EQ(key->queryValue(valueName + "v").error(), errors::kErrorFileNotFound);
}

TEST_P(RegistryConformance, AMissingMachineHiveIsEmptyAndNeverWritten) {
    auto root = registry_->openKey(Hive::kLocalMachine, "");
    ASSERT_TRUE(root.ok());
    EXPECT_EQ((*root)->queryValue("Anything").error(), errors::kErrorFileNotFound);
    EXPECT_EQ((*root)->subkeyName(0).error(), errors::kErrorNoMoreItems);
    EXPECT_EQ((*root)->setValue("x", ValueType::kDword, Bytes{1, 0, 0, 0}).error(),
              errors::kErrorAccessDenied);
    EXPECT_EQ((*root)->deleteValue("x").error(), errors::kErrorAccessDenied);
    EXPECT_EQ(registry_->openKey(Hive::kLocalMachine, "Software").error(),
              errors::kErrorFileNotFound);

    // The user's keys are not the machine's.
    ASSERT_TRUE(created(*registry_, "Software\\Mine"));
    EXPECT_EQ(registry_->openKey(Hive::kLocalMachine, "Software\\Mine").error(),
              errors::kErrorFileNotFound);
}

TEST_P(RegistryConformance, TheClassesHiveIsTheUsersSoftwareClasses) {
    auto empty = registry_->openKey(Hive::kClassesRoot, "");
    ASSERT_TRUE(empty.ok());
    EXPECT_EQ((*empty)->subkeyName(0).error(), errors::kErrorNoMoreItems);

    auto key = registry_->createKeyIn(Hive::kClassesRoot, "CLSID\\{X}\\InprocServer32");
    ASSERT_TRUE(key.ok());
    ASSERT_TRUE((*key)->setValue("", ValueType::kString, bytesOf("/lib/x.so")).ok());
    std::unique_ptr<Registry> another = harness_->open();
    auto seen =
        another->openKey(Hive::kCurrentUser, "software\\CLASSES\\clsid\\{x}\\InprocServer32");
    ASSERT_TRUE(seen.ok());
    EXPECT_EQ((*seen)->queryValue("")->data, bytesOf("/lib/x.so"));
    EXPECT_EQ(subkeys(**registry_->openKey(Hive::kClassesRoot, "\\")),
              (std::vector<std::string>{"CLSID"}));
    EXPECT_EQ(registry_->createKeyIn(Hive::kLocalMachine, "CLSID").error(),
              errors::kErrorAccessDenied);
}

TEST_P(RegistryConformance, DeletingATreeRemovesItsKeysAndValuesAndNothingBeside) {
    for (const char* path : {"T\\A\\B\\C", "T\\A\\D", "T\\AB", "T\\A]", "T\\A_"}) {
        auto key = registry_->createKeyIn(Hive::kClassesRoot, path);
        ASSERT_TRUE(key.ok()) << path;
        ASSERT_TRUE((*key)->setValue("v", ValueType::kDword, Bytes{1, 0, 0, 0}).ok());
    }
    ASSERT_TRUE((*registry_->openKey(Hive::kClassesRoot, "T\\A"))
                    ->setValue("", ValueType::kString, bytesOf("top"))
                    .ok());
    EXPECT_TRUE(registry_->deleteKeyTree(Hive::kClassesRoot, "t\\a").ok());
    std::unique_ptr<Registry> another = harness_->open();
    for (const char* gone : {"T\\A", "T\\A\\B", "T\\A\\B\\C", "T\\A\\D"}) {
        EXPECT_EQ(another->openKey(Hive::kClassesRoot, gone).error(), errors::kErrorFileNotFound)
            << gone;
    }
    EXPECT_EQ(subkeys(**another->openKey(Hive::kClassesRoot, "T")),
              (std::vector<std::string>{"AB", "A]", "A_"}));
    EXPECT_TRUE((*another->openKey(Hive::kClassesRoot, "T\\AB"))->queryValue("v").ok());
    // A key made again at the same place starts empty.
    auto again = registry_->createKeyIn(Hive::kClassesRoot, "T\\A");
    ASSERT_TRUE(again.ok());
    EXPECT_EQ((*again)->queryValue("").error(), errors::kErrorFileNotFound);

    EXPECT_EQ(registry_->deleteKeyTree(Hive::kClassesRoot, "T\\Missing").error(),
              errors::kErrorFileNotFound);
    EXPECT_EQ(registry_->deleteKeyTree(Hive::kClassesRoot, "\\").error(),
              errors::kErrorAccessDenied);
    EXPECT_EQ(registry_->deleteKeyTree(Hive::kCurrentUser, "").error(), errors::kErrorAccessDenied);
    EXPECT_EQ(registry_->deleteKeyTree(Hive::kLocalMachine, "T").error(),
              errors::kErrorAccessDenied);
    EXPECT_TRUE(registry_->deleteKeyTree(Hive::kCurrentUser, "Software\\Classes\\T").ok());
    EXPECT_EQ(registry_->openKey(Hive::kClassesRoot, "T\\AB").error(), errors::kErrorFileNotFound);
    EXPECT_TRUE(registry_->openKey(Hive::kCurrentUser, "Software\\Classes").ok());
}

TEST_P(RegistryConformance, AnEmptyUserHiveReadsAsEmpty) {
    auto root = registry_->openKey(Hive::kCurrentUser, "");
    ASSERT_TRUE(root.ok());
    EXPECT_EQ((*root)->queryValue("Mode").error(), errors::kErrorFileNotFound);
    EXPECT_EQ((*root)->subkeyName(0).error(), errors::kErrorNoMoreItems);
    EXPECT_EQ(registry_->openKey(Hive::kCurrentUser, "Settings").error(),
              errors::kErrorFileNotFound);
}

}  // namespace
}  // namespace pennaform::platform::test
