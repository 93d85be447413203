// The control's vtables. ICAPI's is filled from the method table: each slot
// is a function made from its row (inputs as BSTR or long, the result through
// a last pointer), and the compile-time checks below tie each named slot to
// the row's slot number, so the C header's order and the table cannot drift
// apart.
#include "interface/com/ControlVtables.h"

#include <array>
#include <cstddef>
#include <type_traits>
#include <utility>

#include "encoding/ErrorTable.h"
#include "interface/Bstr.h"
#include "interface/Guard.h"
#include "interface/MethodTable.h"
#include "interface/com/ControlObject.h"

namespace pennaform::com {
namespace {

ControlObject* ownerOf(auto* self) {
    return objectBehind<ControlObject>(self);
}

// IUnknown's three slots, for any of the control's interfaces.
template <typename Interface>
HRESULT queryInterface(Interface* self, REFIID riid, void** out) {
    return ownerOf(self)->queryInterface(riid, out);
}
template <typename Interface>
std::uint32_t addReference(Interface* self) {
    return ownerOf(self)->addReference();
}
template <typename Interface>
std::uint32_t release(Interface* self) {
    return ownerOf(self)->release();
}

// IDispatch.
HRESULT typeInfoCount(ICAPI*, std::uint32_t* outCount) {
    if (outCount == nullptr) return E_POINTER;
    *outCount = 0;  // there is no type library on this platform
    return S_OK;
}
HRESULT typeInfo(ICAPI*, std::uint32_t, LCID, void** outInfo) {
    if (outInfo == nullptr) return E_POINTER;
    *outInfo = nullptr;
    return DISP_E_BADINDEX;
}
HRESULT idsOfNames(ICAPI* self, REFIID riid, OLECHAR** names, std::uint32_t count, LCID,
                   DISPID* outIds) {
    return ownerOf(self)->idsOfNames(riid, names, count, outIds);
}
HRESULT invoke(ICAPI* self, DISPID id, REFIID riid, LCID, std::uint16_t flags, DISPPARAMS* params,
               VARIANT* outResult, EXCEPINFO*, std::uint32_t* outArgumentError) {
    return ownerOf(self)->invoke(id, riid, flags, params, outResult, outArgumentError);
}

// The C types of a row's inputs and result.
template <ValueType T>
using InputType = std::conditional_t<T == ValueType::Long, std::int32_t, BSTR>;
template <ValueType T>
using ResultType = std::conditional_t<T == ValueType::Long, std::int32_t, BSTR>;

Argument argumentOf(std::int32_t number) {
    return number;
}
Argument argumentOf(BSTR text) {
    return copyArgument(text);  // up to the first NUL; null reads as empty
}

void store(const Result& result, std::int32_t* out) {
    *out = std::get<std::int32_t>(result);
}
void store(const Result& result, BSTR* out) {
    *out = toBstr(std::get<std::optional<std::u16string>>(result));
}

// MethodSlot<row>::call: the vtable function of one method-table row.
template <std::size_t Row,
          typename = std::make_index_sequence<std::size_t(kMethodTable[Row].argumentCount)>>
struct MethodSlot;

template <std::size_t Row, std::size_t... I>
struct MethodSlot<Row, std::index_sequence<I...>> {
    static constexpr const MethodSpec& kMethod = kMethodTable[Row];
    using Out = ResultType<kMethod.result>;

    static HRESULT call(ICAPI* self, InputType<kMethod.argumentList[I].type>... inputs,
                        Out* out) noexcept {
        // Writing through a null result pointer would crash the host: refuse
        // the call before anything runs.
        if (out == nullptr) return E_POINTER;
        *out = Out{};
        CapiControl& control = ownerOf(self)->control();
        return guarded(
            [&]() -> HRESULT {
                std::array<Argument, sizeof...(I)> arguments{argumentOf(inputs)...};
                Result result;
                HRESULT invoked = control.Invoke(kMethod.dispId, arguments, result);
                if (invoked == S_OK) store(result, out);
                return invoked;
            },
            [](std::int32_t code) { return code == codes::kOutOfMemory ? E_OUTOFMEMORY : E_FAIL; });
    }
};

// The ICAPI methods, named as their rows and as the C header's fields.
// clang-format off
#define PENNAFORM_ICAPI_METHODS(X)                                                              \
    X(GetVersion) X(GetErrorCode) X(GetErrorMsg) X(GetCapiErrorCode) X(GetCapiErrorMsg)         \
    X(GetMacAddress) X(GetOSName) X(GetUserHomePath) X(GetServerAuth) X(VerifyServerResponse)   \
    X(RegReadHKCU) X(RegWriteHKCUInt) X(RegWriteHKCUStr) X(RegReadHKLM) X(Hash) X(HashFile)     \
    X(SetProviderName) X(CreatePKCS10) X(CreatePKCS10Pair) X(GetCsrForSign)                     \
    X(GetCsrForEncrypt) X(AcceptPKCS7) X(SetDefaultPfxFileName) X(PresetPasswdLengthRange)      \
    X(ChangePfxPasswd) X(ChangePfxPasswdEx) X(QueryPfxInfo) X(ImportPfxToIE)                    \
    X(GetImportedPfxFilePath) X(GetImportedPfxFileName) X(ExportPfxFromIE)                      \
    X(ExportMobileFromPfx) X(ExportMobileFromIE) X(GetExportedPfxFilePath)                      \
    X(GetExportedPfxFileName) X(SelectSigner) X(SelectSignerEx) X(GetSignerPfxFilePath)         \
    X(GetSignerPfxFileName) X(SignPkcs1) X(SignPkcs7) X(SelectSignerEx2) X(GetPortEx)           \
    X(GetCertB64) X(GetCertSubject) X(GetCertSubjectCN) X(GetCertIssuer) X(GetCertSerial)       \
    X(GetCertNotBefore) X(GetCertNotAfter) X(GetCertFinger) X(GetCertKeyUsage) X(SymEncrypt)    \
    X(SymDecrypt) X(CertEncryptPkcs7) X(CertDecryptPkcs7) X(GetIECertCount) X(GetIECertSerial)  \
    X(GetIECertCommonName) X(GetIECertSubject) X(GetIECertIssuer) X(GetIECertNotBefore)         \
    X(GetIECertNotAfter) X(GetIECertFinger) X(DeleteIECert)
// clang-format on

// Each named field sits at its row's slot after IDispatch's seven, and the
// vtable holds nothing else: 65 distinct rows at 65 distinct places in 72.
constexpr std::size_t kDispatchSlots = 7;
#define PENNAFORM_SLOT_AT_ITS_ROW(Name)                                                           \
    static_assert(offsetof(ICAPIVtbl, Name) ==                                                    \
                      (kDispatchSlots + std::size_t(kMethodTable[methodIndex(#Name)].slot) - 1) * \
                          sizeof(void (*)()),                                                     \
                  #Name " is not at its method-table slot");
PENNAFORM_ICAPI_METHODS(PENNAFORM_SLOT_AT_ITS_ROW)
#define PENNAFORM_COUNT_ONE(Name) +1
static_assert(0 PENNAFORM_ICAPI_METHODS(PENNAFORM_COUNT_ONE) == 65);
static_assert(sizeof(ICAPIVtbl) == (kDispatchSlots + 65) * sizeof(void (*)()));
static_assert(offsetof(ICAPIVtbl, Invoke) == (kDispatchSlots - 1) * sizeof(void (*)()));

// A stub for every method of a container interface. Its callers pass the
// method's own arguments, which it never reads: on the ELF platforms'
// C conventions the caller owns the argument area, so extra arguments are
// harmless.
HRESULT notImplemented(void*) {
    return E_NOTIMPL;
}

template <std::size_t Methods>
struct StubVtable {
    HRESULT (*queryInterface)(void*, REFIID, void**);
    std::uint32_t (*addReference)(void*);
    std::uint32_t (*release)(void*);
    std::array<HRESULT (*)(void*), Methods> methods;
};

template <std::size_t Methods>
constexpr StubVtable<Methods> stubVtable() {
    StubVtable<Methods> table{&queryInterface<void>, &addReference<void>, &release<void>, {}};
    table.methods.fill(&notImplemented);
    return table;
}

// IOleObject has 21 methods after IUnknown's, IPersistStreamInit 6 (IPersist's
// GetClassID first), IPersistStorage 7.
constexpr StubVtable<21> kOleObject = stubVtable<21>();
constexpr StubVtable<6> kPersistStreamInit = stubVtable<6>();
constexpr StubVtable<7> kPersistStorage = stubVtable<7>();

HRESULT getSafetyOptions(IObjectSafety* self, REFIID riid, std::uint32_t* outSupported,
                         std::uint32_t* outEnabled) {
    return ownerOf(self)->interfaceSafetyOptions(riid, outSupported, outEnabled);
}
HRESULT setSafetyOptions(IObjectSafety* self, REFIID riid, std::uint32_t mask,
                         std::uint32_t enabled) {
    return ownerOf(self)->setInterfaceSafetyOptions(riid, mask, enabled);
}

}  // namespace

#define PENNAFORM_SLOT_OF_ITS_ROW(Name) .Name = &MethodSlot<methodIndex(#Name)>::call,
const ICAPIVtbl kControlVtable = {.QueryInterface = &queryInterface<ICAPI>,
                                  .AddRef = &addReference<ICAPI>,
                                  .Release = &release<ICAPI>,
                                  .GetTypeInfoCount = &typeInfoCount,
                                  .GetTypeInfo = &typeInfo,
                                  .GetIDsOfNames = &idsOfNames,
                                  .Invoke = &invoke,
                                  PENNAFORM_ICAPI_METHODS(PENNAFORM_SLOT_OF_ITS_ROW)};

const IObjectSafetyVtbl kObjectSafetyVtable = {
    .QueryInterface = &queryInterface<IObjectSafety>,
    .AddRef = &addReference<IObjectSafety>,
    .Release = &release<IObjectSafety>,
    .GetInterfaceSafetyOptions = &getSafetyOptions,
    .SetInterfaceSafetyOptions = &setSafetyOptions,
};

const void* const kOleObjectVtable = &kOleObject;
const void* const kPersistStreamInitVtable = &kPersistStreamInit;
const void* const kPersistStorageVtable = &kPersistStorage;

}  // namespace pennaform::com
