#include "platform/SystemMessages.h"

#include <gtest/gtest.h>

#include <string>

namespace pennaform::platform {
namespace {

std::string textOf(PlatformError number) {
    auto text = systemMessageText(number);
    return text ? std::string(*text) : std::string("<none>");
}

TEST(SystemMessagesTest, Win32TextsMatchTheSystem) {
    EXPECT_EQ(textOf(errors::kErrorFileNotFound), "The system cannot find the file specified.\r\n");
    EXPECT_EQ(textOf(errors::kErrorAccessDenied), "Access is denied.\r\n");
    EXPECT_EQ(textOf(errors::kErrorInvalidPassword),
              "The specified network password is not correct.\r\n");
    EXPECT_EQ(textOf(errors::kErrorCancelled), "The operation was canceled by the user.\r\n");
    // The Windows 10+ wording, not the older "Not enough storage ..." one.
    EXPECT_EQ(textOf(errors::kErrorNotEnoughMemory),
              "Not enough memory resources are available to process this command.\r\n");
    EXPECT_EQ(textOf(errors::kErrorOutOfMemory),
              "Not enough memory resources are available to complete this operation.\r\n");
}

TEST(SystemMessagesTest, HresultFormsShareTheirWin32Text) {
    EXPECT_EQ(textOf(errors::kEInvalidArg), textOf(errors::kErrorInvalidParameter));
    EXPECT_EQ(textOf(errors::kEOutOfMemory), textOf(errors::kErrorOutOfMemory));
    EXPECT_EQ(textOf(errors::kEInvalidArg), "The parameter is incorrect.\r\n");
}

TEST(SystemMessagesTest, CryptoTextsMatchTheSystem) {
    EXPECT_EQ(textOf(errors::kNteBadKey), "Bad Key.\r\n");
    EXPECT_EQ(textOf(errors::kNtePerm), "Access denied.\r\n");
    // This one has no final period on Windows.
    EXPECT_EQ(textOf(errors::kNteBadKeyset), "Keyset does not exist\r\n");
    // The system's message file text for this number, not the one other
    // toolchains' headers give.
    EXPECT_EQ(textOf(errors::kCryptEUnexpectedMsgType),
              "The certificate does not have a property that references a private key.\r\n");
    EXPECT_EQ(textOf(errors::kCryptENoDecryptCert),
              "Cannot find the certificate and private key to use for decryption.\r\n");
    EXPECT_EQ(textOf(errors::kCryptEAsn1BadTag), "ASN1 bad tag value met.\r\n");
}

TEST(SystemMessagesTest, UnknownNumbersHaveNoText) {
    for (PlatformError number : {0x0u, 0x1u, 0x80090012u, 0x8009001Cu, 0x80070002u, 0xFFFFFFFFu}) {
        EXPECT_FALSE(systemMessageText(number).has_value()) << std::hex << number;
    }
}

TEST(SystemMessagesTest, EveryTextIsOneLineEndingInCrLf) {
    auto numbers = systemMessageNumbers();
    ASSERT_GE(numbers.size(), 70u);
    PlatformError previous = 0;
    for (PlatformError number : numbers) {
        EXPECT_GT(number, previous) << "numbers must ascend";
        previous = number;
        auto text = systemMessageText(number);
        ASSERT_TRUE(text.has_value()) << std::hex << number;
        ASSERT_GE(text->size(), 3u);
        EXPECT_EQ(text->substr(text->size() - 2), "\r\n") << std::hex << number;
        EXPECT_EQ(text->find_first_of("\r\n"), text->size() - 2) << std::hex << number;
        EXPECT_NE(text->front(), ' ') << std::hex << number;
    }
}

TEST(SystemMessagesTest, EveryNumberTheComponentMapsHasText) {
    // Numbers the component's own codes depend on, or that its POSIX backend
    // reports, must never fall back to the bare number.
    for (PlatformError number :
         {errors::kErrorPathNotFound, errors::kErrorAlreadyExists, errors::kErrorMoreData,
          errors::kErrorNoMoreItems, errors::kRpcSStringTooLong, errors::kErrorObjectNotFound,
          errors::kNteBadAlgId, errors::kNteBadKeyState, errors::kNteNoKey, errors::kNteExists,
          errors::kNteKeysetNotDef, errors::kNteBadProvType, errors::kNteSilentContext,
          errors::kCryptENotFound, errors::kCryptEExists, errors::kCryptENoKeyProperty,
          errors::kCryptEUnknownAlgo, errors::kCryptEInvalidMsgType}) {
        EXPECT_TRUE(systemMessageText(number).has_value()) << std::hex << number;
    }
}

}  // namespace
}  // namespace pennaform::platform
