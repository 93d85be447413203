/* Loads libpennaform.so as a C program would and checks the flat interface:
 * every decorated name resolves, results are caller-owned BSTRs, and the
 * retired export answers 5004 without touching the platform error.
 * Usage: flat_exports_test PATH-TO-libpennaform.so */
#include <dlfcn.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include "pennaform/pennaform.h"

static int checks = 0;
static int failures = 0;

#define CHECK(cond)                                                            \
    do {                                                                       \
        ++checks;                                                              \
        if (!(cond)) {                                                         \
            fprintf(stderr, "%s:%d: failed: %s\n", __FILE__, __LINE__, #cond); \
            ++failures;                                                        \
        }                                                                      \
    } while (0)

static const char* const kDecoratedNames[] = {
    "_GetDllVersion@0",
    "_GetErrorCode@0",
    "_GetErrorMsg@0",
    "_GetCapiErrorCode@0",
    "_GetCapiErrorMsg@0",
    "_GetMacAddress@0",
    "_GetOSName@0",
    "_GetUserHomePath@0",
    "_GetServerAuth@0",
    "_VerifyServerResponse@4",
    "_RegReadHKCU@4",
    "_RegWriteHKCUInt@8",
    "_RegWriteHKCUStr@8",
    "_RegReadHKLM@4",
    "_Hash@8",
    "_HashFile@8",
    "_SetProviderName@4",
    "_CreatePKCS10@12",
    "_CreatePKCS10Pair@12",
    "_GetCsrForSign@0",
    "_GetCsrForEncrypt@0",
    "_AcceptPKCS7@4",
    "_SetDefaultPfxFileName@4",
    "_PresetPasswdLengthRange@8",
    "_ChangePfxPasswd@20",
    "_ChangePfxPasswdEx@24",
    "_QueryPfxInfo@20",
    "_ImportPfxToIE@20",
    "_GetImportedPfxFilePath@0",
    "_GetImportedPfxFileName@0",
    "_ExportPfxFromIE@20",
    "_ExportMobileFromPfx@20",
    "_ExportMobileFromIE@16",
    "_GetExportedPfxFilePath@0",
    "_GetExportedPfxFileName@0",
    "_SelectSigner@12",
    "_SelectSignerEx@28",
    "_GetSignerPfxFilePath@0",
    "_GetSignerPfxFileName@0",
    "_SignPkcs1@8",
    "_SignPkcs7@8",
    "_SelectSignerEx2@28",
    "_GetPortEx@0",
    "_GetCertB64@0",
    "_GetCertSubject@0",
    "_GetCertSubjectCN@0",
    "_GetCertIssuer@0",
    "_GetCertSerial@0",
    "_GetCertNotBefore@0",
    "_GetCertNotAfter@0",
    "_GetCertFinger@0",
    "_GetCertKeyUsage@0",
    "_SymEncrypt@16",
    "_SymDecrypt@16",
    "_CertEncryptPkcs7@16",
    "_CertDecryptPkcs7@8",
    "_GetIECertCount@0",
    "_GetIECertSerial@4",
    "_GetIECertCommonName@4",
    "_GetIECertSubject@4",
    "_GetIECertIssuer@4",
    "_GetIECertNotBefore@4",
    "_GetIECertNotAfter@4",
    "_GetIECertFinger@4",
    "_DeleteIECert@4",
    "_SelectSignerINS@12",
};

typedef BSTR (*StringFn0)(void);
typedef int32_t (*LongFn0)(void);
typedef int32_t (*LongFn3)(int32_t, int32_t, int32_t);
typedef BSTR (*HashFn)(const OLECHAR*, int32_t);
typedef BSTR (*AllocFn)(const OLECHAR*);
typedef uint32_t (*LenFn)(BSTR);
typedef void (*FreeFn)(BSTR);
typedef pennaform_function (*ResolveFn)(const char*);

/* Compares a BSTR with UTF-16 text given as a zero-terminated array. */
static int sameText(BSTR b, const OLECHAR* expected, LenFn len) {
    uint32_t n = 0;
    while (expected[n] != 0) ++n;
    return b != NULL && len(b) == n && memcmp(b, expected, n * sizeof(OLECHAR)) == 0 && b[n] == 0;
}

int main(int argc, char** argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: %s LIBRARY\n", argv[0]);
        return 2;
    }
    void* library = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
    if (library == NULL) {
        fprintf(stderr, "dlopen: %s\n", dlerror());
        return 1;
    }
    ResolveFn resolve = (ResolveFn)dlsym(library, "pennaform_export");
    AllocFn sysAlloc = (AllocFn)dlsym(library, "SysAllocString");
    LenFn sysLen = (LenFn)dlsym(library, "SysStringLen");
    FreeFn sysFree = (FreeFn)dlsym(library, "SysFreeString");
    CHECK(resolve && sysAlloc && sysLen && sysFree);
    if (!(resolve && sysAlloc && sysLen && sysFree)) return 1;

    size_t count = sizeof kDecoratedNames / sizeof kDecoratedNames[0];
    CHECK(count == 66);
    /* Each decorated name resolves to the function its undecorated C name
     * exports: "_Hash@8" is Hash. */
    for (size_t i = 0; i < count; ++i) {
        const char* decorated = kDecoratedNames[i];
        char plain[64];
        size_t length = strcspn(decorated + 1, "@");
        CHECK(length < sizeof plain);
        if (length >= sizeof plain) continue;
        memcpy(plain, decorated + 1, length);
        plain[length] = 0;
        void* address = (void*)resolve(decorated);
        if (address == NULL || address != dlsym(library, plain)) {
            fprintf(stderr, "%s does not resolve to %s\n", decorated, plain);
            ++failures;
        }
    }
    CHECK(resolve("_Hash@4") == NULL);
    CHECK(resolve("Hash") == NULL);
    CHECK(resolve(NULL) == NULL);

    LongFn3 selectSignerIns = (LongFn3)resolve("_SelectSignerINS@12");
    LongFn0 getErrorCode = (LongFn0)resolve("_GetErrorCode@0");
    LongFn0 getCapiErrorCode = (LongFn0)resolve("_GetCapiErrorCode@0");
    LongFn0 getPortEx = (LongFn0)resolve("_GetPortEx@0");
    StringFn0 getErrorMsg = (StringFn0)resolve("_GetErrorMsg@0");
    StringFn0 getCapiErrorMsg = (StringFn0)resolve("_GetCapiErrorMsg@0");
    HashFn hash = (HashFn)resolve("_Hash@8");

    static const OLECHAR kSuccess[] = {0x6210, 0x529F, '(', '0', ')', 0}; /* 成功(0) */
    static const OLECHAR kUnsupported[] = {
        0x4E0D, 0x652F, 0x63F4, 0x7684, 0x529F, 0x80FD, '(',
        '5',    '0',    '0',    '4',    ')',    0}; /* 不支援的功能(5004) */
    BSTR fresh = getErrorMsg();
    CHECK(sameText(fresh, kSuccess, sysLen));
    BSTR freshCapi = getCapiErrorMsg();
    CHECK(sameText(freshCapi, kSuccess, sysLen));
    CHECK(getPortEx() == 65537);

    CHECK(selectSignerIns(-1, 0, 0x7FFFFFFF) == 5004);
    CHECK(getErrorCode() == 5004);
    CHECK(getErrorCode() == 5004);
    CHECK(getCapiErrorCode() == 0);
    BSTR message = getErrorMsg();
    CHECK(sameText(message, kUnsupported, sysLen));
    BSTR capiMessage = getCapiErrorMsg();
    CHECK(sameText(capiMessage, kSuccess, sysLen));
    CHECK(getPortEx() == 65537);

    /* A null string argument reads as empty: Hash refuses it with 5005 and
     * an empty, not null, result. */
    BSTR digest = hash(NULL, 0);
    CHECK(digest != NULL && sysLen(digest) == 0);
    CHECK(getErrorCode() == 5005);

    /* Hash through the flat door: MD5 of "abc" in the code page (RFC 1321). */
    static const OLECHAR kAbc[] = {'a', 'b', 'c', 0};
    static const OLECHAR kAbcMd5[] = {'9', '0', '0', '1', '5', '0', '9', '8', '3', 'C', 'D',
                                      '2', '4', 'F', 'B', '0', 'D', '6', '9', '6', '3', 'F',
                                      '7', 'D', '2', '8', 'E', '1', '7', 'F', '7', '2', 0};
    BSTR abcDigest = hash(kAbc, 0x11);
    CHECK(sameText(abcDigest, kAbcMd5, sysLen));
    CHECK(getErrorCode() == 0);

    /* Choosing the dialog host: refusals come with their code and leave the
     * engine's error fields alone; a scripted host answers HashFile's file
     * chooser, the headless one cancels it. */
    typedef int32_t (*UseDialogsFn)(const char*, const char*, const char*);
    UseDialogsFn useDialogs = (UseDialogsFn)dlsym(library, "pennaform_use_dialogs");
    HashFn hashFile = (HashFn)resolve("_HashFile@8");
    CHECK(useDialogs != NULL);
    if (useDialogs != NULL) {
        CHECK(selectSignerIns(0, 0, 0) == 5004);
        CHECK(useDialogs(NULL, NULL, NULL) == 5005);
        CHECK(useDialogs("gui", NULL, NULL) == 5005);
        CHECK(useDialogs("headless", "/answers.json", NULL) == 5005);
        CHECK(useDialogs("scripted", NULL, NULL) == 5005);
        CHECK(useDialogs("scripted", "/nonexistent/answers.json", NULL) == 1002);
        CHECK(getErrorCode() == 5004);

        char data[] = "/tmp/pennaform-data-XXXXXX";
        char answers[] = "/tmp/pennaform-answers-XXXXXX";
        int dataFd = mkstemp(data);
        int answersFd = mkstemp(answers);
        CHECK(dataFd >= 0 && answersFd >= 0);
        if (dataFd >= 0 && answersFd >= 0) {
            char script[128];
            int length = snprintf(script, sizeof script,
                                  "[{\"dialog\": \"fileChooser\", \"path\": \"%s\"}]", data);
            CHECK(write(dataFd, "abc", 3) == 3);
            CHECK(write(answersFd, script, (size_t)length) == length);
            CHECK(useDialogs("scripted", answers, NULL) == 0);
            BSTR chosen = hashFile(NULL, 0x11);
            CHECK(sameText(chosen, kAbcMd5, sysLen));
            sysFree(chosen);
            CHECK(useDialogs("headless", NULL, NULL) == 0);
            BSTR cancelled = hashFile(NULL, 0x11);
            CHECK(cancelled != NULL && sysLen(cancelled) == 0);
            CHECK(getErrorCode() == 5070);
            sysFree(cancelled);
        }
        if (dataFd >= 0) {
            close(dataFd);
            unlink(data);
        }
        if (answersFd >= 0) {
            close(answersFd);
            unlink(answers);
        }
        CHECK(useDialogs("terminal", NULL, NULL) == 0);
    }

    /* Earlier results stay valid after later calls. */
    CHECK(sameText(fresh, kSuccess, sysLen));
    CHECK(sameText(message, kUnsupported, sysLen));

    /* The BSTR helpers. */
    BSTR copy = sysAlloc(kAbc);
    CHECK(sameText(copy, kAbc, sysLen));
    CHECK(sysAlloc(NULL) == NULL);
    CHECK(sysLen(NULL) == 0);
    sysFree(NULL);

    sysFree(copy);
    sysFree(digest);
    sysFree(abcDigest);
    sysFree(capiMessage);
    sysFree(message);
    sysFree(freshCapi);
    sysFree(fresh);
    dlclose(library);
    printf("%d passed, %d failed\n", checks - failures, failures);
    return failures == 0 ? 0 : 1;
}
