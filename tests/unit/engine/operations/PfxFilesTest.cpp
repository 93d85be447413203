// The Engine's PFX settings through the method table, as a caller reaches
// them: the password range, the default name, and the four path getters.
#include <gtest/gtest.h>

#include "engine/Engine.h"
#include "support/TemporaryFolder.h"

namespace pennaform {
namespace {

class PfxOperations : public ::testing::Test {
protected:
    PfxOperations() : engine_(EngineConfig{folder_.sub("home"), false}) {}
    pennaform::test::TemporaryFolder folder_;
    Engine engine_;
};

TEST_F(PfxOperations, PasswordRangeIsSwappedThenBounded) {
    struct Case {
        std::int32_t min, max, storedMin, storedMax;
    };
    for (Case c : {Case{10, 6, 6, 10}, Case{0, 0, 0, 16}, Case{-5, 8, 0, 8}, Case{8, -5, 0, 8},
                   Case{4, 12, 4, 12}, Case{-3, -1, 0, 16}}) {
        SCOPED_TRACE(testing::Message() << c.min << ", " << c.max);
        engine_.setErrorCode(5208);
        engine_.setCapiError(86);
        EXPECT_EQ(engine_.PresetPasswdLengthRange(c.min, c.max), 0);
        EXPECT_EQ(engine_.minPasswordLength(), c.storedMin);
        EXPECT_EQ(engine_.maxPasswordLength(), c.storedMax);
        EXPECT_EQ(engine_.GetErrorCode(), 0);
        EXPECT_EQ(engine_.GetCapiErrorCode(), 0);
    }
}

TEST_F(PfxOperations, DefaultNameIsKeptAsGivenEmptyIncluded) {
    engine_.setErrorCode(5208);
    engine_.setCapiError(86);
    EXPECT_EQ(engine_.SetDefaultPfxFileName(u"備份"), 0);
    EXPECT_EQ(engine_.defaultPfxPrefix(), "備份");  // the UTF-8 code page of the tests
    EXPECT_EQ(engine_.GetErrorCode(), 0);
    EXPECT_EQ(engine_.GetCapiErrorCode(), 86);  // left as it was
    EXPECT_EQ(engine_.SetDefaultPfxFileName(u""), 0);
    EXPECT_EQ(engine_.defaultPfxPrefix(), "");
}

TEST_F(PfxOperations, PathGettersAreEmptyOnANewEngineAndChangeNothing) {
    engine_.setErrorCode(5401);
    engine_.setCapiError(2);
    EXPECT_EQ(engine_.GetImportedPfxFilePath(), u"");
    EXPECT_EQ(engine_.GetImportedPfxFileName(), u"");
    EXPECT_EQ(engine_.GetExportedPfxFilePath(), u"");
    EXPECT_EQ(engine_.GetExportedPfxFileName(), u"");
    EXPECT_EQ(engine_.GetErrorCode(), 5401);
    EXPECT_EQ(engine_.GetCapiErrorCode(), 2);
}

}  // namespace
}  // namespace pennaform
