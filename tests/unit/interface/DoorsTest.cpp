// The method table and the doors it drives: the table's shape, name lookup,
// and the separate Engines of controls.
#include <gtest/gtest.h>

#include <set>

#include "interface/CapiControl.h"
#include "interface/Dispatcher.h"

namespace pennaform {
namespace {

TEST(MethodTable, SixtyFiveMethodsInSlotOrderAndOneExportOnlyRow) {
    std::set<int> dispIds;
    std::set<std::string_view> names, exports;
    for (std::size_t i = 0; i < 65; ++i) {
        const MethodSpec& m = kMethodTable[i];
        EXPECT_EQ(m.slot, int(i) + 1);
        EXPECT_TRUE(dispIds.insert(m.dispId).second) << m.name;
        EXPECT_TRUE(names.insert(m.name).second) << m.name;
        EXPECT_TRUE(exports.insert(m.exportName).second) << m.name;
        EXPECT_FALSE(m.isExportOnly());
    }
    const MethodSpec& ins = kMethodTable[65];
    EXPECT_TRUE(ins.isExportOnly());
    EXPECT_EQ(ins.decoratedName(), "_SelectSignerINS@12");
    EXPECT_EQ(kMethodTable[0].decoratedName(), "_GetDllVersion@0");
    EXPECT_EQ(kMethodTable[methodIndex("SelectSignerEx2")].decoratedName(), "_SelectSignerEx2@28");
}

TEST(MethodTable, LookupByEachKindOfName) {
    EXPECT_EQ(Dispatcher::findMethod("Hash"), &kMethodTable[methodIndex("Hash")]);
    EXPECT_EQ(Dispatcher::findExport("_Hash@8"), Dispatcher::findMethod("Hash"));
    EXPECT_EQ(Dispatcher::findExport("_GetDllVersion@0"), Dispatcher::findMethod("GetVersion"));
    EXPECT_EQ(Dispatcher::findDispId(77), Dispatcher::findMethod("GetPortEx"));
    EXPECT_EQ(Dispatcher::findMethod("GetDllVersion"), nullptr);  // export name, not a method
    EXPECT_EQ(Dispatcher::findMethod("SelectSignerINS"), nullptr);
    EXPECT_EQ(Dispatcher::findDispId(-1), nullptr);
    EXPECT_EQ(Dispatcher::findDispId(9), nullptr);
    for (const char* wrong : {"_Hash@4", "_Hash@08", "_Hash@", "Hash@8", "_Hash@8x", "_hash@8",
                              "_Hash@99999999999999999999", "_@0", ""}) {
        EXPECT_EQ(Dispatcher::findExport(wrong), nullptr) << wrong;
    }
    for (const MethodSpec& m : kMethodTable) {
        EXPECT_EQ(Dispatcher::findExport(m.decoratedName()), &m) << m.name;
    }
}

TEST(CapiControl, EachControlHasItsOwnEngine) {
    CapiControl first, second;
    Result result;
    std::vector<Argument> hashArgs{std::u16string(), std::int32_t{0}};
    ASSERT_EQ(first.Invoke(30, hashArgs, result), kSOk);  // Hash of an empty text
    ASSERT_EQ(first.Invoke(2, {}, result), kSOk);
    EXPECT_EQ(std::get<std::int32_t>(result), 5005);
    ASSERT_EQ(second.Invoke(2, {}, result), kSOk);
    EXPECT_EQ(std::get<std::int32_t>(result), 0);
    ASSERT_EQ(second.Invoke(77, {}, result), kSOk);
    EXPECT_EQ(std::get<std::int32_t>(result), 65537);
}

TEST(CapiControl, CallsThatNameNoMethodOrDoNotFitAreRefused) {
    CapiControl control;
    Result result = std::int32_t{42};
    EXPECT_EQ(control.Invoke(9999, {}, result), kDispEMemberNotFound);
    std::vector<Argument> one{std::int32_t{1}};
    EXPECT_EQ(control.Invoke(2, one, result), kDispEBadParamCount);
    std::vector<Argument> swapped{std::int32_t{0}, std::u16string(u"abc")};
    EXPECT_EQ(control.Invoke(30, swapped, result), kDispETypeMismatch);
    EXPECT_EQ(std::get<std::int32_t>(result), 42);  // untouched
}

}  // namespace
}  // namespace pennaform
