// Loading libpennaform.so builds nothing: the process Engine is built by the
// first call that needs it. Observed through GetUserHomePath, which answers
// the HOME the Engine read when it was built.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <optional>
#include <string>

#include "pennaform/pennaform.h"
#include "support/TemporaryFolder.h"

namespace pennaform {
namespace {

// ScopedVariable: sets an environment variable and restores it on leaving.
class ScopedVariable {
public:
    ScopedVariable(const char* name, const std::string& value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        setenv(name, value.c_str(), 1);
    }
    ~ScopedVariable() {
        if (old_)
            setenv(name_, old_->c_str(), 1);
        else
            unsetenv(name_);
    }
    void set(const std::string& value) { setenv(name_, value.c_str(), 1); }

private:
    const char* name_;
    std::optional<std::string> old_;
};

TEST(LibraryLoad, TheProcessEngineIsBuiltAtTheFirstCallNotAtLoad) {
    test::TemporaryFolder folder;
    ScopedVariable state("PENNAFORM_HOME", folder.sub("state"));
    ScopedVariable home("HOME", "/home/at-load");
    void* library = dlopen(PENNAFORM_LIBRARY, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library, nullptr) << dlerror();
    home.set("/home/at-first-call");

    using StringFn = BSTR (*)();
    auto getUserHomePath = reinterpret_cast<StringFn>(dlsym(library, "GetUserHomePath"));
    auto sysStringLen = reinterpret_cast<uint32_t (*)(BSTR)>(dlsym(library, "SysStringLen"));
    auto sysFreeString = reinterpret_cast<void (*)(BSTR)>(dlsym(library, "SysFreeString"));
    ASSERT_TRUE(getUserHomePath && sysStringLen && sysFreeString);
    BSTR path = getUserHomePath();
    ASSERT_NE(path, nullptr);
    EXPECT_EQ(std::u16string(path, sysStringLen(path)), u"/home/at-first-call");
    sysFreeString(path);
    // Building the Engine opens no state: the folder waits for a call that
    // stores something.
    EXPECT_FALSE(std::filesystem::exists(folder.sub("state")));
    dlclose(library);
}

}  // namespace
}  // namespace pennaform
