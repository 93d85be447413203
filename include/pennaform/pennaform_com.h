/*
 * Pennaform: the control object of libpennaform.so, shaped as a COM
 * in-process server so that a host program drives it through vtables and
 * IDispatch::Invoke as it would on Windows.
 *
 * The layouts are the Windows ones; the calling convention is the platform's
 * C convention (there is no stdcall on this platform). Included by
 * pennaform.h; not meant to be included on its own.
 *
 * Every control owns an engine of its own, created with the control and
 * destroyed when its last reference is released, apart from the process-wide
 * engine of the flat functions and from every other control. A control is
 * entered from one thread at a time.
 */
#ifndef PENNAFORM_PENNAFORM_COM_H
#define PENNAFORM_PENNAFORM_COM_H

#ifdef __cplusplus
extern "C" {
#endif
/* The declarations are laid out by hand: the formatter breaks function-pointer
 * fields apart from their parameter lists. */
/* clang-format off */

typedef int32_t HRESULT;
typedef int32_t DISPID;
typedef uint32_t LCID;
typedef uint16_t VARTYPE;
typedef int16_t VARIANT_BOOL;

typedef struct GUID {
    uint32_t Data1;
    uint16_t Data2;
    uint16_t Data3;
    uint8_t Data4[8];
} GUID;
typedef GUID IID;
typedef GUID CLSID;
typedef const GUID* REFIID;
typedef const GUID* REFCLSID;

#define S_OK ((HRESULT)0)
#define S_FALSE ((HRESULT)1)
#define E_NOTIMPL ((HRESULT)0x80004001u)
#define E_NOINTERFACE ((HRESULT)0x80004002u)
#define E_POINTER ((HRESULT)0x80004003u)
#define E_FAIL ((HRESULT)0x80004005u)
#define E_OUTOFMEMORY ((HRESULT)0x8007000Eu)
#define E_INVALIDARG ((HRESULT)0x80070057u)
#define CLASS_E_NOAGGREGATION ((HRESULT)0x80040110u)
#define CLASS_E_CLASSNOTAVAILABLE ((HRESULT)0x80040111u)
#define DISP_E_UNKNOWNINTERFACE ((HRESULT)0x80020001u)
#define DISP_E_MEMBERNOTFOUND ((HRESULT)0x80020003u)
#define DISP_E_TYPEMISMATCH ((HRESULT)0x80020005u)
#define DISP_E_UNKNOWNNAME ((HRESULT)0x80020006u)
#define DISP_E_NONAMEDARGS ((HRESULT)0x80020007u)
#define DISP_E_BADVARTYPE ((HRESULT)0x80020008u)
#define DISP_E_OVERFLOW ((HRESULT)0x8002000Au)
#define DISP_E_BADINDEX ((HRESULT)0x8002000Bu)
#define DISP_E_BADPARAMCOUNT ((HRESULT)0x8002000Eu)

#define DISPATCH_METHOD 1
#define DISPATCH_PROPERTYGET 2
#define DISPATCH_PROPERTYPUT 4
#define DISPATCH_PROPERTYPUTREF 8
#define DISPID_UNKNOWN (-1)

#define INTERFACESAFE_FOR_UNTRUSTED_CALLER 1u
#define INTERFACESAFE_FOR_UNTRUSTED_DATA 2u

/* VARIANT types: those the control reads and writes, and the flag of a
 * reference to one. */
enum VARENUM {
    VT_EMPTY = 0,
    VT_NULL = 1,
    VT_I2 = 2,
    VT_I4 = 3,
    VT_R4 = 4,
    VT_R8 = 5,
    VT_BSTR = 8,
    VT_DISPATCH = 9,
    VT_ERROR = 10,
    VT_BOOL = 11,
    VT_VARIANT = 12,
    VT_UNKNOWN = 13,
    VT_I1 = 16,
    VT_UI1 = 17,
    VT_UI2 = 18,
    VT_UI4 = 19,
    VT_INT = 22,
    VT_UINT = 23,
    VT_BYREF = 0x4000
};
#define VARIANT_TRUE ((VARIANT_BOOL)-1)
#define VARIANT_FALSE ((VARIANT_BOOL)0)

struct IUnknown;

/* VARIANT: the Windows layout (24 bytes on a 64-bit system). */
typedef struct VARIANT {
    VARTYPE vt;
    uint16_t wReserved1;
    uint16_t wReserved2;
    uint16_t wReserved3;
    union {
        int32_t lVal;
        int16_t iVal;
        int8_t cVal;
        uint8_t bVal;
        uint16_t uiVal;
        uint32_t ulVal;
        int32_t intVal;
        uint32_t uintVal;
        float fltVal;
        double dblVal;
        VARIANT_BOOL boolVal;
        HRESULT scode;
        BSTR bstrVal;
        struct IUnknown* punkVal;
        int32_t* plVal;
        int16_t* piVal;
        double* pdblVal;
        VARIANT_BOOL* pboolVal;
        BSTR* pbstrVal;
        struct VARIANT* pvarVal;
        void* byref;
        struct {
            void* pvRecord;
            void* pRecInfo;
        } brecVal;
    };
} VARIANT;

/* DISPPARAMS: the arguments of IDispatch::Invoke, the last one first. */
typedef struct DISPPARAMS {
    VARIANT* rgvarg;
    DISPID* rgdispidNamedArgs;
    uint32_t cArgs;
    uint32_t cNamedArgs;
} DISPPARAMS;

typedef struct EXCEPINFO {
    uint16_t wCode;
    uint16_t wReserved;
    BSTR bstrSource;
    BSTR bstrDescription;
    BSTR bstrHelpFile;
    uint32_t dwHelpContext;
    void* pvReserved;
    HRESULT (*pfnDeferredFillIn)(struct EXCEPINFO*);
    HRESULT scode;
} EXCEPINFO;

/* VariantInit: marks a VARIANT empty without reading what it held. */
PENNAFORM_API void VariantInit(VARIANT* variant);
/* VariantClear: frees what the VARIANT owns (a BSTR, or a reference on an
 * interface) and marks it empty; a reference (VT_BYREF) owns nothing.
 * DISP_E_BADVARTYPE for a type it does not know, which it leaves as it is;
 * E_INVALIDARG for null. */
PENNAFORM_API HRESULT VariantClear(VARIANT* variant);

/* Identities. CLSID_CAPI is the control's class ("Pennaform.CAPI"),
 * IID_ICAPI its dispatch interface, LIBID_PENNAFORMLib the type library the
 * registration names (there is no type-library resource on this platform). */
static const CLSID CLSID_CAPI = {0x5C2E9B71, 0x3D04, 0x4A8F,
                                 {0xB6, 0xE2, 0x19, 0xD7, 0xC0, 0xA4, 0x00, 0x01}};
static const IID IID_ICAPI = {0x2A7D0C95, 0xE418, 0x4B6F,
                              {0x8C, 0x21, 0x6B, 0x3F, 0xA9, 0xD7, 0x00, 0x03}};
static const GUID LIBID_PENNAFORMLib = {0x8E13F6A2, 0x7B59, 0x4C0D,
                                        {0x9A, 0x34, 0x2F, 0x61, 0xD8, 0xE5, 0x00, 0x02}};
static const IID IID_NULL = {0, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}};
static const IID IID_IUnknown = {0x00000000, 0x0000, 0x0000,
                                 {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
static const IID IID_IClassFactory = {0x00000001, 0x0000, 0x0000,
                                      {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
static const IID IID_IDispatch = {0x00020400, 0x0000, 0x0000,
                                  {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
static const IID IID_IOleObject = {0x00000112, 0x0000, 0x0000,
                                   {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
static const IID IID_IPersistStreamInit = {0x7FD52380, 0x4E07, 0x101B,
                                           {0xAE, 0x2D, 0x08, 0x00, 0x2B, 0x2E, 0xC7, 0x13}};
static const IID IID_IPersist = {0x0000010C, 0x0000, 0x0000,
                                 {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
static const IID IID_IPersistStorage = {0x0000010A, 0x0000, 0x0000,
                                        {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
static const IID IID_IPersistPropertyBag = {0x37D84F60, 0x42CB, 0x11CE,
                                            {0x81, 0x35, 0x00, 0xAA, 0x00, 0x4B, 0xB8, 0x51}};
static const IID IID_IObjectSafety = {0xCB5BDC81, 0x93C1, 0x11CF,
                                      {0x8F, 0x20, 0x00, 0x80, 0x5F, 0x2C, 0xD0, 0x64}};

/* IUnknown: the first three slots of every interface. */
typedef struct IUnknown IUnknown;
typedef struct IUnknownVtbl {
    HRESULT (*QueryInterface)(IUnknown* This, REFIID riid, void** ppvObject);
    uint32_t (*AddRef)(IUnknown* This);
    uint32_t (*Release)(IUnknown* This);
} IUnknownVtbl;
struct IUnknown {
    const IUnknownVtbl* lpVtbl;
};

typedef struct IClassFactory IClassFactory;
typedef struct IClassFactoryVtbl {
    HRESULT (*QueryInterface)(IClassFactory* This, REFIID riid, void** ppvObject);
    uint32_t (*AddRef)(IClassFactory* This);
    uint32_t (*Release)(IClassFactory* This);
    /* CreateInstance: a new control; CLASS_E_NOAGGREGATION with an outer
     * object, E_NOINTERFACE (and no object) for an interface it lacks. */
    HRESULT (*CreateInstance)(IClassFactory* This, IUnknown* pUnkOuter, REFIID riid,
                              void** ppvObject);
    /* LockServer: a nonzero fLock keeps the library loaded until unlocked. */
    HRESULT (*LockServer)(IClassFactory* This, int32_t fLock);
} IClassFactoryVtbl;
struct IClassFactory {
    const IClassFactoryVtbl* lpVtbl;
};

/* IObjectSafety: the control declares itself safe for untrusted callers
 * through IDispatch, and for untrusted data through IPersistStreamInit and
 * IPersistStorage, once the container enables those options. */
typedef struct IObjectSafety IObjectSafety;
typedef struct IObjectSafetyVtbl {
    HRESULT (*QueryInterface)(IObjectSafety* This, REFIID riid, void** ppvObject);
    uint32_t (*AddRef)(IObjectSafety* This);
    uint32_t (*Release)(IObjectSafety* This);
    HRESULT (*GetInterfaceSafetyOptions)(IObjectSafety* This, REFIID riid,
                                         uint32_t* pdwSupportedOptions,
                                         uint32_t* pdwEnabledOptions);
    HRESULT (*SetInterfaceSafetyOptions)(IObjectSafety* This, REFIID riid,
                                         uint32_t dwOptionSetMask, uint32_t dwEnabledOptions);
} IObjectSafetyVtbl;
struct IObjectSafety {
    const IObjectSafetyVtbl* lpVtbl;
};

/* ICAPI: IDispatch's seven slots, then the 65 methods in the order of the
 * flat functions above. Each method takes its inputs and writes its result
 * through the last pointer: a BSTR the caller frees, or a long. Every call
 * that reaches an operation answers S_OK whatever the operation's outcome
 * (read GetErrorCode afterwards); a null result pointer answers E_POINTER and
 * runs nothing. A string argument is read up to its first NUL; null reads as
 * the empty string; the caller keeps it.
 * IDispatch: GetTypeInfoCount gives 0 (no type information on this
 * platform); GetIDsOfNames matches names without letter case; Invoke takes
 * DISPATCH_METHOD (DISPATCH_PROPERTYGET too for a method without
 * arguments), positional arguments only (DISP_E_NONAMEDARGS), and converts
 * VT_I2, VT_R8, VT_BOOL and the other numbers to a long (a number from -2^31
 * to 2^32-1 passes its 32 bits, so 2147483648.0 is the flag 0x80000000;
 * DISP_E_OVERFLOW beyond), VT_BSTR (a null one is the empty string) to a
 * string, and follows VT_BYREF and VT_VARIANT | VT_BYREF; any other type
 * answers DISP_E_TYPEMISMATCH. After a mismatch or an overflow *puArgErr is
 * the argument's index in rgvarg. The result VARIANT (VT_I4 or VT_BSTR)
 * belongs to the caller; it is written without being cleared first. */
typedef struct ICAPI ICAPI;
typedef struct ICAPIVtbl {
    HRESULT (*QueryInterface)(ICAPI* This, REFIID riid, void** ppvObject);
    uint32_t (*AddRef)(ICAPI* This);
    uint32_t (*Release)(ICAPI* This);
    HRESULT (*GetTypeInfoCount)(ICAPI* This, uint32_t* pctinfo);
    HRESULT (*GetTypeInfo)(ICAPI* This, uint32_t iTInfo, LCID lcid, void** ppTInfo);
    HRESULT (*GetIDsOfNames)(ICAPI* This, REFIID riid, OLECHAR** rgszNames, uint32_t cNames,
                             LCID lcid, DISPID* rgDispId);
    HRESULT (*Invoke)(ICAPI* This, DISPID dispIdMember, REFIID riid, LCID lcid, uint16_t wFlags,
                      DISPPARAMS* pDispParams, VARIANT* pVarResult, EXCEPINFO* pExcepInfo,
                      uint32_t* puArgErr);
    HRESULT (*GetVersion)(ICAPI* This, BSTR* pResult);
    HRESULT (*GetErrorCode)(ICAPI* This, int32_t* pResult);
    HRESULT (*GetErrorMsg)(ICAPI* This, BSTR* pResult);
    HRESULT (*GetCapiErrorCode)(ICAPI* This, int32_t* pResult);
    HRESULT (*GetCapiErrorMsg)(ICAPI* This, BSTR* pResult);
    HRESULT (*GetMacAddress)(ICAPI* This, BSTR* pResult);
    HRESULT (*GetOSName)(ICAPI* This, BSTR* pResult);
    HRESULT (*GetUserHomePath)(ICAPI* This, BSTR* pResult);
    HRESULT (*GetServerAuth)(ICAPI* This, BSTR* pResult);
    HRESULT (*VerifyServerResponse)(ICAPI* This, BSTR strServerResponse, int32_t* pResult);
    HRESULT (*RegReadHKCU)(ICAPI* This, BSTR strName, BSTR* pResult);
    HRESULT (*RegWriteHKCUInt)(ICAPI* This, BSTR strName, int32_t dw, int32_t* pResult);
    HRESULT (*RegWriteHKCUStr)(ICAPI* This, BSTR strName, BSTR str, int32_t* pResult);
    HRESULT (*RegReadHKLM)(ICAPI* This, BSTR strName, BSTR* pResult);
    HRESULT (*Hash)(ICAPI* This, BSTR strPlainText, int32_t dwFlags, BSTR* pResult);
    HRESULT (*HashFile)(ICAPI* This, BSTR strFileName, int32_t dwFlags, BSTR* pResult);
    HRESULT (*SetProviderName)(ICAPI* This, BSTR strProviderName, int32_t* pResult);
    HRESULT (*CreatePKCS10)(ICAPI* This, BSTR commonName, int32_t keyBits, int32_t genKeyFlags,
                            BSTR* pResult);
    HRESULT (*CreatePKCS10Pair)(ICAPI* This, BSTR commonName, int32_t keyBits,
                                int32_t genKeyFlags, int32_t* pResult);
    HRESULT (*GetCsrForSign)(ICAPI* This, BSTR* pResult);
    HRESULT (*GetCsrForEncrypt)(ICAPI* This, BSTR* pResult);
    HRESULT (*AcceptPKCS7)(ICAPI* This, BSTR strPkcs7, int32_t* pResult);
    HRESULT (*SetDefaultPfxFileName)(ICAPI* This, BSTR strPrefix, int32_t* pResult);
    HRESULT (*PresetPasswdLengthRange)(ICAPI* This, int32_t min, int32_t max, int32_t* pResult);
    HRESULT (*ChangePfxPasswd)(ICAPI* This, BSTR strPfxPath, BSTR strPfxName, BSTR strOldPass,
                               BSTR strNewPass, int32_t dwFlags, int32_t* pResult);
    HRESULT (*ChangePfxPasswdEx)(ICAPI* This, BSTR strPfxPath, BSTR strPfxName, BSTR strOldPass,
                                 BSTR strNewPass, int32_t dwPort, int32_t dwFlags,
                                 int32_t* pResult);
    HRESULT (*QueryPfxInfo)(ICAPI* This, BSTR strPfxPath, BSTR strPfxName, BSTR strPasswd,
                            int32_t dwFlags, int32_t dwKeyUsage, int32_t* pResult);
    HRESULT (*ImportPfxToIE)(ICAPI* This, BSTR strPfxPath, BSTR strPfxName, BSTR strPasswd,
                             int32_t dwFlags, int32_t dwKeyUsage, int32_t* pResult);
    HRESULT (*GetImportedPfxFilePath)(ICAPI* This, BSTR* pResult);
    HRESULT (*GetImportedPfxFileName)(ICAPI* This, BSTR* pResult);
    HRESULT (*ExportPfxFromIE)(ICAPI* This, BSTR strSubject, BSTR strPfxPath, BSTR strPassword,
                               int32_t dwFlags, int32_t dwKeyUsage, int32_t* pResult);
    HRESULT (*ExportMobileFromPfx)(ICAPI* This, BSTR strPfxPath, BSTR strPfxName,
                                   BSTR strPasswd, int32_t dwFlags, int32_t dwKeyUsage,
                                   BSTR* pResult);
    HRESULT (*ExportMobileFromIE)(ICAPI* This, BSTR strSubject, BSTR strPasswd, int32_t dwFlags,
                                  int32_t dwKeyUsage, BSTR* pResult);
    HRESULT (*GetExportedPfxFilePath)(ICAPI* This, BSTR* pResult);
    HRESULT (*GetExportedPfxFileName)(ICAPI* This, BSTR* pResult);
    HRESULT (*SelectSigner)(ICAPI* This, BSTR certFilter, int32_t dwFlags, int32_t dwKeyUsage,
                            int32_t* pResult);
    HRESULT (*SelectSignerEx)(ICAPI* This, BSTR certFilter, BSTR strPfxPath, BSTR strPfxName,
                              BSTR strPasswd, BSTR strCompareDate, int32_t dwFlags,
                              int32_t dwKeyUsage, int32_t* pResult);
    HRESULT (*GetSignerPfxFilePath)(ICAPI* This, BSTR* pResult);
    HRESULT (*GetSignerPfxFileName)(ICAPI* This, BSTR* pResult);
    HRESULT (*SignPkcs1)(ICAPI* This, BSTR strContent, int32_t dwFlags, BSTR* pResult);
    HRESULT (*SignPkcs7)(ICAPI* This, BSTR strContent, int32_t dwFlags, BSTR* pResult);
    HRESULT (*SelectSignerEx2)(ICAPI* This, BSTR certFilter, BSTR strPfxPath, BSTR strPfxName,
                               int32_t dwPort, BSTR strCompareDate, int32_t dwFlags,
                               int32_t dwKeyUsage, int32_t* pResult);
    HRESULT (*GetPortEx)(ICAPI* This, int32_t* pResult);
    HRESULT (*GetCertB64)(ICAPI* This, BSTR* pResult);
    HRESULT (*GetCertSubject)(ICAPI* This, BSTR* pResult);
    HRESULT (*GetCertSubjectCN)(ICAPI* This, BSTR* pResult);
    HRESULT (*GetCertIssuer)(ICAPI* This, BSTR* pResult);
    HRESULT (*GetCertSerial)(ICAPI* This, BSTR* pResult);
    HRESULT (*GetCertNotBefore)(ICAPI* This, BSTR* pResult);
    HRESULT (*GetCertNotAfter)(ICAPI* This, BSTR* pResult);
    HRESULT (*GetCertFinger)(ICAPI* This, BSTR* pResult);
    HRESULT (*GetCertKeyUsage)(ICAPI* This, int32_t* pResult);
    HRESULT (*SymEncrypt)(ICAPI* This, BSTR strPlainText, BSTR strPasswdHex, int32_t iAlgorithm,
                          int32_t dwFlags, BSTR* pResult);
    HRESULT (*SymDecrypt)(ICAPI* This, BSTR strCipher, BSTR strPasswdHex, int32_t iAlgorithm,
                          int32_t dwFlags, BSTR* pResult);
    HRESULT (*CertEncryptPkcs7)(ICAPI* This, BSTR strPlainText, BSTR strCertB64,
                                int32_t iAlgorithm, int32_t dwFlags, BSTR* pResult);
    HRESULT (*CertDecryptPkcs7)(ICAPI* This, BSTR strCipher, int32_t dwFlags, BSTR* pResult);
    HRESULT (*GetIECertCount)(ICAPI* This, int32_t* pResult);
    HRESULT (*GetIECertSerial)(ICAPI* This, int32_t dwIndex, BSTR* pResult);
    HRESULT (*GetIECertCommonName)(ICAPI* This, int32_t dwIndex, BSTR* pResult);
    HRESULT (*GetIECertSubject)(ICAPI* This, int32_t dwIndex, BSTR* pResult);
    HRESULT (*GetIECertIssuer)(ICAPI* This, int32_t dwIndex, BSTR* pResult);
    HRESULT (*GetIECertNotBefore)(ICAPI* This, int32_t dwIndex, BSTR* pResult);
    HRESULT (*GetIECertNotAfter)(ICAPI* This, int32_t dwIndex, BSTR* pResult);
    HRESULT (*GetIECertFinger)(ICAPI* This, int32_t dwIndex, BSTR* pResult);
    HRESULT (*DeleteIECert)(ICAPI* This, int32_t dwIndex, int32_t* pResult);
} ICAPIVtbl;
struct ICAPI {
    const ICAPIVtbl* lpVtbl;
};

/* The module's entry points. */
/* DllGetClassObject: the class factory of CLSID_CAPI (IID_IClassFactory or
 * IID_IUnknown), with a reference the caller releases;
 * CLASS_E_CLASSNOTAVAILABLE for any other class. */
PENNAFORM_API HRESULT DllGetClassObject(REFCLSID rclsid, REFIID riid, void** ppv);
/* DllCanUnloadNow: S_FALSE while a control, a class factory reference or a
 * LockServer lock lives; S_OK otherwise. */
PENNAFORM_API HRESULT DllCanUnloadNow(void);
/* DllRegisterServer: writes the control's registration (ProgIDs, the CLSID
 * key with InprocServer32 naming this library's path, the type library's
 * keys) into the user's classes hive, HKEY_CURRENT_USER\Software\Classes
 * (RegReadHKCU reads it). The CLSID key is made anew each time. S_OK, or the
 * registry's failure as HRESULT_FROM_WIN32. */
PENNAFORM_API HRESULT DllRegisterServer(void);
/* DllUnregisterServer: removes both ProgID keys, the CLSID key and the type
 * library's keys; the "CLSID" key itself stays. S_OK also when nothing was
 * registered. */
PENNAFORM_API HRESULT DllUnregisterServer(void);

/* pennaform_create_control: a new control as the class factory makes it,
 * except that a nonzero servesUntrustedCaller makes its engine serve an
 * untrusted caller (protected mode: the operations that reach the user's
 * keys, files, registry or adapters refuse with 1500). */
PENNAFORM_API HRESULT pennaform_create_control(int32_t servesUntrustedCaller, REFIID riid,
                                               void** ppvObject);
/* pennaform_control_use_dialogs: pennaform_use_dialogs for one control's
 * engine (each control starts headless), with the same arguments and codes;
 * 5005 when control is not an ICAPI of this library. */
PENNAFORM_API int32_t pennaform_control_use_dialogs(ICAPI* control, const char* kind,
                                                    const char* answersPath,
                                                    const char* transcriptPath);

/* clang-format on */

#ifdef __cplusplus
}
#endif

#endif /* PENNAFORM_PENNAFORM_COM_H */
