/* Loads libpennaform.so as a C host of the control would: gets the class
 * factory, makes controls, calls them through their vtable slots and through
 * IDispatch::Invoke, asks their safety options, registers the module, and
 * checks the unload test. The state folder is a fresh temporary one.
 * Usage: com_control_test PATH-TO-libpennaform.so */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <limits.h>
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

static struct {
    HRESULT (*getClassObject)(REFCLSID, REFIID, void**);
    HRESULT (*canUnloadNow)(void);
    HRESULT (*registerServer)(void);
    HRESULT (*unregisterServer)(void);
    HRESULT (*createControl)(int32_t, REFIID, void**);
    int32_t (*controlUseDialogs)(ICAPI*, const char*, const char*, const char*);
    void (*variantInit)(VARIANT*);
    HRESULT (*variantClear)(VARIANT*);
    BSTR (*sysAlloc)(const OLECHAR*);
    uint32_t (*sysLen)(BSTR);
    void (*sysFree)(BSTR);
    BSTR (*regReadHKCU)(const OLECHAR*);
} lib;

/* sameText: whether a BSTR holds exactly the UTF-16 text. */
static int sameText(BSTR b, const OLECHAR* expected) {
    uint32_t n = 0;
    while (expected[n] != 0) ++n;
    return b != NULL && lib.sysLen(b) == n && memcmp(b, expected, n * sizeof(OLECHAR)) == 0;
}

/* sameAscii: whether a BSTR holds exactly the ASCII text. */
static int sameAscii(BSTR b, const char* expected) {
    size_t n = strlen(expected);
    if (b == NULL || lib.sysLen(b) != n) return 0;
    for (size_t i = 0; i < n; ++i) {
        if (b[i] != (OLECHAR)(unsigned char)expected[i]) return 0;
    }
    return 1;
}

static const OLECHAR kAbcMd5[] = u"900150983CD24FB0D6963F7D28E17F72";

/* call: Invoke with the arguments given in call order (DISPPARAMS wants them
 * last first). */
static HRESULT call(ICAPI* c, DISPID id, uint16_t flags, VARIANT* inCallOrder, uint32_t count,
                    VARIANT* result, uint32_t* argErr) {
    VARIANT reversed[8];
    for (uint32_t i = 0; i < count; ++i) reversed[count - 1 - i] = inCallOrder[i];
    DISPPARAMS params = {count ? reversed : NULL, NULL, count, 0};
    return c->lpVtbl->Invoke(c, id, &IID_NULL, 0, flags, &params, result, NULL, argErr);
}

static DISPID idOf(ICAPI* c, const OLECHAR* name) {
    OLECHAR* names[1] = {(OLECHAR*)name};
    DISPID id = 12345;
    HRESULT hr = c->lpVtbl->GetIDsOfNames(c, &IID_NULL, names, 1, 0, &id);
    return hr == S_OK ? id : DISPID_UNKNOWN;
}

static int32_t errorCodeOf(ICAPI* c) {
    int32_t code = -999;
    CHECK(c->lpVtbl->GetErrorCode(c, &code) == S_OK);
    return code;
}

/* Vtable slots: the same method reached on two controls, null arguments and
 * a null result pointer. */
static void checkVtableCalls(ICAPI* a, ICAPI* b) {
    int32_t port = 0;
    CHECK(a->lpVtbl->GetPortEx(a, &port) == S_OK && port == 65537);
    BSTR empty = NULL;
    CHECK(a->lpVtbl->Hash(a, NULL, 0, &empty) == S_OK);
    CHECK(empty != NULL && lib.sysLen(empty) == 0);
    CHECK(errorCodeOf(a) == 5005);
    CHECK(errorCodeOf(b) == 0); /* separate Engines */
    lib.sysFree(empty);

    BSTR abc = lib.sysAlloc(u"abc");
    BSTR digest = NULL;
    CHECK(b->lpVtbl->Hash(b, abc, 0x11, &digest) == S_OK);
    CHECK(sameText(digest, kAbcMd5));
    CHECK(errorCodeOf(a) == 5005);
    lib.sysFree(digest);
    lib.sysFree(abc);

    /* A null result pointer answers E_POINTER and runs nothing: the error
     * code of a stays as it was. */
    CHECK(a->lpVtbl->VerifyServerResponse(a, NULL, NULL) == E_POINTER);
    CHECK(a->lpVtbl->GetVersion(a, NULL) == E_POINTER);
    CHECK(errorCodeOf(a) == 5005);
}

/* Invoke by dispatch id and by name, with what script engines pass. A long
 * written with RegWriteHKCUInt reads back through RegReadHKCU as signed
 * decimal, which shows the 32 bits each VARIANT became. */
static void checkInvoke(ICAPI* c) {
    DISPID write = idOf(c, u"regwritehkcuint");
    DISPID read = idOf(c, u"RegReadHKCU");
    CHECK(write == 21 && read == 20);
    CHECK(idOf(c, u"NoSuchMethod") == DISPID_UNKNOWN);
    CHECK(idOf(c, u"SelectSignerINS") == DISPID_UNKNOWN); /* an export, not a method */

    BSTR name = lib.sysAlloc(u"Software\\PennaformTest\\Value");
    VARIANT inner;
    lib.variantInit(&inner);
    inner.vt = VT_I4;
    inner.lVal = 7;
    int32_t byRefLong = 8;
    struct {
        VARTYPE vt;
        double number;
        const char* readBack;
    } cases[] = {
        {VT_R8, 2147483648.0, "-2147483648"}, /* the flag 0x80000000 as a script holds it */
        {VT_R8, 4294967295.0, "-1"},
        {VT_R8, 2.5, "2"}, /* half to even */
        {VT_R8, -3.5, "-4"},
        {VT_I2, -5, "-5"},
        {VT_BOOL, 0, "-1"}, /* VARIANT_TRUE */
        {VT_UI4, 0, "-1"},  /* 0xFFFFFFFF */
        {VT_VARIANT | VT_BYREF, 0, "7"},
        {VT_I4 | VT_BYREF, 0, "8"},
    };
    for (size_t i = 0; i < sizeof cases / sizeof cases[0]; ++i) {
        VARIANT args[2];
        lib.variantInit(&args[0]);
        lib.variantInit(&args[1]);
        args[0].vt = VT_BSTR | VT_BYREF;
        args[0].pbstrVal = &name;
        args[1].vt = cases[i].vt;
        switch (cases[i].vt) {
            case VT_R8:
                args[1].dblVal = cases[i].number;
                break;
            case VT_I2:
                args[1].iVal = (int16_t)cases[i].number;
                break;
            case VT_BOOL:
                args[1].boolVal = VARIANT_TRUE;
                break;
            case VT_UI4:
                args[1].ulVal = 0xFFFFFFFFu;
                break;
            case VT_VARIANT | VT_BYREF:
                args[1].pvarVal = &inner;
                break;
            default:
                args[1].plVal = &byRefLong;
                break;
        }
        VARIANT result;
        CHECK(call(c, write, DISPATCH_METHOD, args, 2, &result, NULL) == S_OK);
        CHECK(result.vt == VT_I4 && result.lVal == 0);

        VARIANT readArgs[1] = {args[0]};
        CHECK(call(c, read, DISPATCH_METHOD | DISPATCH_PROPERTYGET, readArgs, 1, &result, NULL) ==
              S_OK);
        CHECK(result.vt == VT_BSTR && sameAscii(result.bstrVal, cases[i].readBack));
        if (!(result.vt == VT_BSTR && sameAscii(result.bstrVal, cases[i].readBack)))
            fprintf(stderr, "  case %zu\n", i);
        CHECK(lib.variantClear(&result) == S_OK && result.vt == VT_EMPTY);
    }

    /* Refusals, with the position in rgvarg of the argument at fault. */
    VARIANT args[2];
    VARIANT result;
    uint32_t argErr = 99;
    args[0].vt = VT_BSTR;
    args[0].bstrVal = name;
    args[1].vt = VT_R8;
    args[1].dblVal = 4294967296.0;
    CHECK(call(c, write, DISPATCH_METHOD, args, 2, &result, &argErr) == DISP_E_OVERFLOW);
    CHECK(argErr == 0);
    args[1].vt = VT_BSTR;
    CHECK(call(c, write, DISPATCH_METHOD, args, 2, &result, &argErr) == DISP_E_TYPEMISMATCH);
    CHECK(argErr == 0);
    args[0].vt = VT_I4;
    args[0].lVal = 1;
    args[1].vt = VT_I4;
    CHECK(call(c, write, DISPATCH_METHOD, args, 2, &result, &argErr) == DISP_E_TYPEMISMATCH);
    CHECK(argErr == 1);
    CHECK(call(c, write, DISPATCH_METHOD, args, 1, &result, NULL) == DISP_E_BADPARAMCOUNT);
    CHECK(call(c, write, DISPATCH_PROPERTYGET, args, 2, &result, NULL) == DISP_E_MEMBERNOTFOUND);
    CHECK(call(c, 9999, DISPATCH_METHOD, NULL, 0, &result, NULL) == DISP_E_MEMBERNOTFOUND);
    DISPID named = 0;
    DISPPARAMS withNames = {args, &named, 2, 1};
    CHECK(c->lpVtbl->Invoke(c, write, &IID_NULL, 0, DISPATCH_METHOD, &withNames, &result, NULL,
                            NULL) == DISP_E_NONAMEDARGS);
    CHECK(c->lpVtbl->Invoke(c, write, &IID_ICAPI, 0, DISPATCH_METHOD, &withNames, &result, NULL,
                            NULL) == DISP_E_UNKNOWNINTERFACE);

    /* A method without arguments read as a property; a null BSTR argument
     * reads as the empty string (Hash refuses it with 5005). */
    CHECK(call(c, 77, DISPATCH_PROPERTYGET, NULL, 0, &result, NULL) == S_OK);
    CHECK(result.vt == VT_I4 && result.lVal == 65537);
    args[0].vt = VT_BSTR;
    args[0].bstrVal = NULL;
    args[1].vt = VT_I4;
    args[1].lVal = 0;
    CHECK(call(c, idOf(c, u"HASH"), DISPATCH_METHOD, args, 2, &result, NULL) == S_OK);
    CHECK(result.vt == VT_BSTR && result.bstrVal != NULL && lib.sysLen(result.bstrVal) == 0);
    lib.variantClear(&result);
    CHECK(errorCodeOf(c) == 5005);
    lib.sysFree(name);
}

static IObjectSafety* safetyOf(ICAPI* c) {
    IObjectSafety* safety = NULL;
    CHECK(c->lpVtbl->QueryInterface(c, &IID_IObjectSafety, (void**)&safety) == S_OK);
    return safety;
}

static void checkSafety(ICAPI* a, ICAPI* b) {
    IObjectSafety* sa = safetyOf(a);
    IObjectSafety* sb = safetyOf(b);
    uint32_t supported = 9, enabled = 9;
    CHECK(sa->lpVtbl->GetInterfaceSafetyOptions(sa, &IID_IDispatch, &supported, &enabled) == S_OK);
    CHECK(supported == 1 && enabled == 0);
    CHECK(sa->lpVtbl->SetInterfaceSafetyOptions(sa, &IID_IDispatch, 0, 1) == E_FAIL);
    CHECK(sa->lpVtbl->GetInterfaceSafetyOptions(sa, &IID_IDispatch, &supported, &enabled) == S_OK);
    CHECK(enabled == 0);
    CHECK(sa->lpVtbl->SetInterfaceSafetyOptions(sa, &IID_IDispatch, 1, 1) == S_OK);
    CHECK(sa->lpVtbl->GetInterfaceSafetyOptions(sa, &IID_IDispatch, &supported, &enabled) == S_OK);
    CHECK(supported == 1 && enabled == 1);
    /* b's state is its own. */
    CHECK(sb->lpVtbl->GetInterfaceSafetyOptions(sb, &IID_IDispatch, &supported, &enabled) == S_OK);
    CHECK(supported == 1 && enabled == 0);

    /* IOleObject: the bits are added, the call fails. */
    CHECK(sb->lpVtbl->SetInterfaceSafetyOptions(sb, &IID_IOleObject, 2, 2) == E_FAIL);
    CHECK(sb->lpVtbl->GetInterfaceSafetyOptions(sb, &IID_IPersistStorage, &supported, &enabled) ==
          S_OK);
    CHECK(supported == 2 && enabled == 2);
    CHECK(sb->lpVtbl->GetInterfaceSafetyOptions(sb, &IID_IOleObject, &supported, &enabled) ==
          E_FAIL);
    CHECK(supported == 0 && enabled == 0);
    CHECK(sb->lpVtbl->GetInterfaceSafetyOptions(sb, &IID_IDispatch, NULL, &enabled) == S_OK);
    /* IPersistPropertyBag is in the policy but not among the interfaces. */
    CHECK(sb->lpVtbl->GetInterfaceSafetyOptions(sb, &IID_IPersistPropertyBag, &supported,
                                                &enabled) == E_NOINTERFACE);
    CHECK(sb->lpVtbl->SetInterfaceSafetyOptions(sb, &IID_IPersistPropertyBag, 2, 2) ==
          E_NOINTERFACE);
    CHECK(sb->lpVtbl->SetInterfaceSafetyOptions(sb, &IID_IPersistStreamInit, 2, 2) == S_OK);
    sa->lpVtbl->Release(sa);
    sb->lpVtbl->Release(sb);
}

/* QueryInterface: one identity, IPersist as IPersistStreamInit, and the
 * container interfaces answering E_NOTIMPL. */
static void checkInterfaces(ICAPI* c) {
    void* p = NULL;
    CHECK(c->lpVtbl->QueryInterface(c, &IID_IDispatch, &p) == S_OK && p == c);
    c->lpVtbl->Release(c);
    CHECK(c->lpVtbl->QueryInterface(c, &IID_IUnknown, &p) == S_OK && p == c);
    c->lpVtbl->Release(c);
    CHECK(c->lpVtbl->QueryInterface(c, &IID_IPersistPropertyBag, &p) == E_NOINTERFACE && p == NULL);
    IUnknown* streamInit = NULL;
    IUnknown* persist = NULL;
    CHECK(c->lpVtbl->QueryInterface(c, &IID_IPersistStreamInit, (void**)&streamInit) == S_OK);
    CHECK(c->lpVtbl->QueryInterface(c, &IID_IPersist, (void**)&persist) == S_OK);
    CHECK(streamInit == persist && streamInit != (IUnknown*)c);
    CHECK(streamInit->lpVtbl->QueryInterface(streamInit, &IID_ICAPI, &p) == S_OK && p == c);
    c->lpVtbl->Release(c);
    /* IPersistStreamInit::IsDirty, the fifth slot. */
    typedef HRESULT (*IsDirtyFn)(IUnknown*);
    IsDirtyFn isDirty = ((IsDirtyFn const*)streamInit->lpVtbl)[4];
    CHECK(isDirty(streamInit) == E_NOTIMPL);
    streamInit->lpVtbl->Release(streamInit);
    persist->lpVtbl->Release(persist);
    IUnknown* oleObject = NULL;
    CHECK(c->lpVtbl->QueryInterface(c, &IID_IOleObject, (void**)&oleObject) == S_OK);
    oleObject->lpVtbl->Release(oleObject);

    uint32_t count = 9;
    CHECK(c->lpVtbl->GetTypeInfoCount(c, &count) == S_OK && count == 0);
}

/* An untrusted caller's control refuses the user's registry with 1500; a
 * control's own dialog host answers only that control's file chooser. */
static void checkControlSettings(ICAPI* trusted, ICAPI* other, const char* folder) {
    ICAPI* untrusted = NULL;
    CHECK(lib.createControl(1, &IID_ICAPI, (void**)&untrusted) == S_OK);
    if (untrusted == NULL) return;
    BSTR name = lib.sysAlloc(u"Software\\PennaformTest\\Value");
    BSTR value = NULL;
    CHECK(untrusted->lpVtbl->RegReadHKCU(untrusted, name, &value) == S_OK);
    CHECK(errorCodeOf(untrusted) == 1500);
    lib.sysFree(value);
    CHECK(trusted->lpVtbl->RegReadHKCU(trusted, name, &value) == S_OK);
    CHECK(errorCodeOf(trusted) == 0);
    lib.sysFree(value);
    lib.sysFree(name);

    char data[PATH_MAX], answers[PATH_MAX], script[PATH_MAX + 64];
    snprintf(data, sizeof data, "%s/data", folder);
    snprintf(answers, sizeof answers, "%s/answers.json", folder);
    FILE* f = fopen(data, "w");
    CHECK(f != NULL && fputs("abc", f) >= 0 && fclose(f) == 0);
    snprintf(script, sizeof script, "[{\"dialog\": \"fileChooser\", \"path\": \"%s\"}]", data);
    f = fopen(answers, "w");
    CHECK(f != NULL && fputs(script, f) >= 0 && fclose(f) == 0);

    CHECK(lib.controlUseDialogs(untrusted, "scripted", answers, NULL) == 0);
    CHECK(lib.controlUseDialogs((ICAPI*)&name, "headless", NULL, NULL) == 5005);
    CHECK(lib.controlUseDialogs(untrusted, "gui", NULL, NULL) == 5005);
    BSTR digest = NULL;
    CHECK(untrusted->lpVtbl->HashFile(untrusted, NULL, 0x11, &digest) == S_OK);
    CHECK(errorCodeOf(untrusted) == 1500); /* the file chooser is not even asked */
    lib.sysFree(digest);
    CHECK(lib.controlUseDialogs(trusted, "scripted", answers, NULL) == 0);
    CHECK(trusted->lpVtbl->HashFile(trusted, NULL, 0x11, &digest) == S_OK);
    CHECK(sameText(digest, kAbcMd5));
    lib.sysFree(digest);
    CHECK(other->lpVtbl->HashFile(other, NULL, 0x11, &digest) == S_OK);
    CHECK(errorCodeOf(other) == 5070); /* still headless: the chooser cannot be shown */
    lib.sysFree(digest);
    untrusted->lpVtbl->Release(untrusted);
    unlink(data);
    unlink(answers);
}

/* Registration lands in the user's classes hive, where RegReadHKCU sees it. */
static void checkRegistration(const char* libraryPath) {
    char full[PATH_MAX];
    CHECK(realpath(libraryPath, full) != NULL);
    const OLECHAR* server =
        u"Software\\Classes\\CLSID\\{5C2E9B71-3D04-4A8F-B6E2-19D7C0A40001}\\InprocServer32\\";
    const OLECHAR* threading =
        u"Software\\Classes\\CLSID\\{5C2E9B71-3D04-4A8F-B6E2-19D7C0A40001}"
        u"\\InprocServer32\\ThreadingModel";
    const OLECHAR* curVer = u"Software\\Classes\\Pennaform.CAPI\\CurVer\\";
    CHECK(lib.registerServer() == S_OK);
    CHECK(lib.registerServer() == S_OK);
    BSTR path = lib.regReadHKCU(server);
    BSTR model = lib.regReadHKCU(threading);
    BSTR version = lib.regReadHKCU(curVer);
    CHECK(sameAscii(path, full));
    CHECK(sameAscii(model, "Apartment"));
    CHECK(sameAscii(version, "Pennaform.CAPI.1"));
    lib.sysFree(path);
    lib.sysFree(model);
    lib.sysFree(version);
    CHECK(lib.unregisterServer() == S_OK);
    CHECK(lib.unregisterServer() == S_OK);
    path = lib.regReadHKCU(server);
    CHECK(path != NULL && lib.sysLen(path) == 0);
    lib.sysFree(path);
}

static int resolve(void* library) {
    lib.getClassObject = (HRESULT(*)(REFCLSID, REFIID, void**))dlsym(library, "DllGetClassObject");
    lib.canUnloadNow = (HRESULT(*)(void))dlsym(library, "DllCanUnloadNow");
    lib.registerServer = (HRESULT(*)(void))dlsym(library, "DllRegisterServer");
    lib.unregisterServer = (HRESULT(*)(void))dlsym(library, "DllUnregisterServer");
    lib.createControl =
        (HRESULT(*)(int32_t, REFIID, void**))dlsym(library, "pennaform_create_control");
    lib.controlUseDialogs = (int32_t(*)(ICAPI*, const char*, const char*, const char*))dlsym(
        library, "pennaform_control_use_dialogs");
    lib.variantInit = (void (*)(VARIANT*))dlsym(library, "VariantInit");
    lib.variantClear = (HRESULT(*)(VARIANT*))dlsym(library, "VariantClear");
    lib.sysAlloc = (BSTR(*)(const OLECHAR*))dlsym(library, "SysAllocString");
    lib.sysLen = (uint32_t(*)(BSTR))dlsym(library, "SysStringLen");
    lib.sysFree = (void (*)(BSTR))dlsym(library, "SysFreeString");
    lib.regReadHKCU = (BSTR(*)(const OLECHAR*))dlsym(library, "RegReadHKCU");
    return lib.getClassObject && lib.canUnloadNow && lib.registerServer && lib.unregisterServer &&
           lib.createControl && lib.controlUseDialogs && lib.variantInit && lib.variantClear &&
           lib.sysAlloc && lib.sysLen && lib.sysFree && lib.regReadHKCU;
}

int main(int argc, char** argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: %s LIBRARY\n", argv[0]);
        return 2;
    }
    char folder[] = "/tmp/pennaform-com-XXXXXX";
    if (mkdtemp(folder) == NULL) return 1;
    char state[PATH_MAX];
    snprintf(state, sizeof state, "%s/state", folder);
    setenv("PENNAFORM_HOME", state, 1);

    void* library = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
    if (library == NULL) {
        fprintf(stderr, "dlopen: %s\n", dlerror());
        return 1;
    }
    CHECK(resolve(library));
    if (failures != 0) return 1;

    CHECK(lib.canUnloadNow() == S_OK);
    void* p = (void*)&p;
    CHECK(lib.getClassObject(&IID_ICAPI, &IID_IClassFactory, &p) == CLASS_E_CLASSNOTAVAILABLE);
    CHECK(p == NULL);
    IClassFactory* factory = NULL;
    CHECK(lib.getClassObject(&CLSID_CAPI, &IID_IClassFactory, (void**)&factory) == S_OK);
    if (factory == NULL) return 1;
    CHECK(lib.canUnloadNow() == S_FALSE);

    ICAPI* a = NULL;
    ICAPI* b = NULL;
    CHECK(factory->lpVtbl->CreateInstance(factory, (IUnknown*)factory, &IID_ICAPI, &p) ==
          CLASS_E_NOAGGREGATION);
    CHECK(factory->lpVtbl->CreateInstance(factory, NULL, &IID_IPersistPropertyBag, &p) ==
          E_NOINTERFACE);
    CHECK(p == NULL);
    CHECK(factory->lpVtbl->CreateInstance(factory, NULL, &IID_ICAPI, (void**)&a) == S_OK);
    CHECK(factory->lpVtbl->CreateInstance(factory, NULL, &IID_IDispatch, (void**)&b) == S_OK);
    factory->lpVtbl->Release(factory);
    if (a == NULL || b == NULL) return 1;

    checkVtableCalls(a, b);
    checkInvoke(a);
    checkSafety(a, b);
    checkInterfaces(b);
    checkControlSettings(a, b, folder);
    checkRegistration(argv[1]);

    /* The unload test: while a control or a lock lives, S_FALSE. */
    CHECK(lib.canUnloadNow() == S_FALSE);
    CHECK(a->lpVtbl->Release(a) == 0);
    CHECK(lib.canUnloadNow() == S_FALSE);
    CHECK(b->lpVtbl->Release(b) == 0);
    CHECK(lib.canUnloadNow() == S_OK);
    CHECK(lib.getClassObject(&CLSID_CAPI, &IID_IUnknown, (void**)&factory) == S_OK);
    CHECK(factory->lpVtbl->LockServer(factory, 1) == S_OK);
    factory->lpVtbl->Release(factory);
    CHECK(lib.canUnloadNow() == S_FALSE);
    CHECK(lib.getClassObject(&CLSID_CAPI, &IID_IClassFactory, (void**)&factory) == S_OK);
    CHECK(factory->lpVtbl->LockServer(factory, 0) == S_OK);
    factory->lpVtbl->Release(factory);
    CHECK(lib.canUnloadNow() == S_OK);

    dlclose(library);
    char command[PATH_MAX + 16];
    snprintf(command, sizeof command, "rm -rf '%s'", folder);
    CHECK(system(command) == 0);
    printf("%d passed, %d failed\n", checks - failures, failures);
    return failures == 0 ? 0 : 1;
}
