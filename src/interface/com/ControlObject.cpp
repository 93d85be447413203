#include "interface/com/ControlObject.h"

#include <array>
#include <new>
#include <vector>

#include "encoding/ErrorTable.h"
#include "interface/Bstr.h"
#include "interface/Dispatcher.h"
#include "interface/Guard.h"
#include "interface/com/ControlVtables.h"
#include "interface/com/ModuleCounts.h"
#include "interface/com/VariantArguments.h"
#include "platform/AsciiCase.h"

namespace pennaform::com {
namespace {

HRESULT hresultOfCode(std::int32_t code) {
    return code == codes::kOutOfMemory ? E_OUTOFMEMORY : E_FAIL;
}

// sameNameIgnoringCase: a caller's name against a method's or argument's
// name, letters compared without case as Automation compares them.
bool sameNameIgnoringCase(const OLECHAR* name, std::string_view wanted) {
    if (name == nullptr) return false;
    std::size_t i = 0;
    for (; i < wanted.size(); ++i) {
        if (name[i] == 0 || asciiUpper(name[i]) != char16_t(asciiUpper(wanted[i]))) return false;
    }
    return name[i] == 0;
}

// The safety options each interface supports.
std::uint32_t supportedSafetyOptions(REFIID riid) {
    if (sameGuid(riid, IID_IDispatch)) return INTERFACESAFE_FOR_UNTRUSTED_CALLER;
    if (sameGuid(riid, IID_IPersistStreamInit) || sameGuid(riid, IID_IPersistStorage) ||
        sameGuid(riid, IID_IPersistPropertyBag)) {
        return INTERFACESAFE_FOR_UNTRUSTED_DATA;
    }
    return 0;
}

// acceptsFlags: a method is called with DISPATCH_METHOD (script engines add
// DISPATCH_PROPERTYGET when they want the result); one without arguments may
// also be read as a property.
bool acceptsFlags(std::uint16_t flags, const MethodSpec& method) {
    if ((flags & DISPATCH_METHOD) != 0) return true;
    return flags == DISPATCH_PROPERTYGET && method.argumentCount == 0;
}

void storeResult(const Result& result, VARIANT& out) {
    VariantInit(&out);
    if (const auto* number = std::get_if<std::int32_t>(&result)) {
        out.vt = VT_I4;
        out.lVal = *number;
    } else {
        out.vt = VT_BSTR;
        out.bstrVal = toBstr(std::get<std::optional<std::u16string>>(result));
    }
}

}  // namespace

ControlObject::ControlObject(EngineConfig config)
    : control_(std::move(config)),
      dispatch_{&kControlVtable, this},
      oleObject_{kOleObjectVtable, this},
      persistStreamInit_{kPersistStreamInitVtable, this},
      persistStorage_{kPersistStorageVtable, this},
      objectSafety_{&kObjectSafetyVtable, this} {
    ++moduleCounts().objects;
}

ControlObject::~ControlObject() {
    --moduleCounts().objects;
}

HRESULT ControlObject::create(EngineConfig config, REFIID riid, void** out) noexcept {
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    ControlObject* object = nullptr;
    HRESULT built = guarded(
        [&]() -> HRESULT {
            object = new ControlObject(std::move(config));
            return S_OK;
        },
        hresultOfCode);
    if (built != S_OK) return built;
    HRESULT answered = object->queryInterface(riid, out);
    object->release();  // the reference of `new`; the query's one remains
    return answered;
}

ControlObject* ControlObject::fromControl(ICAPI* control) {
    if (control == nullptr || control->lpVtbl != &kControlVtable) return nullptr;
    return objectBehind<ControlObject>(control);
}

InterfacePointer<ControlObject>* ControlObject::findInterface(REFIID riid) {
    const std::array<std::pair<const IID*, InterfacePointer<ControlObject>*>, 8> order = {{
        {&IID_ICAPI, &dispatch_},
        {&IID_IDispatch, &dispatch_},
        {&IID_IOleObject, &oleObject_},
        {&IID_IPersistStreamInit, &persistStreamInit_},
        {&IID_IPersist, &persistStreamInit_},
        {&IID_IPersistStorage, &persistStorage_},
        {&IID_IObjectSafety, &objectSafety_},
        {&IID_IUnknown, &dispatch_},
    }};
    for (const auto& [iid, pointer] : order) {
        if (sameGuid(riid, *iid)) return pointer;
    }
    return nullptr;
}

HRESULT ControlObject::queryInterface(REFIID riid, void** out) {
    if (out == nullptr) return E_POINTER;
    InterfacePointer<ControlObject>* found = findInterface(riid);
    *out = found;
    if (found == nullptr) return E_NOINTERFACE;
    addReference();
    return S_OK;
}

std::uint32_t ControlObject::addReference() {
    return ++references_;
}

std::uint32_t ControlObject::release() {
    std::uint32_t left = --references_;
    if (left == 0) delete this;
    return left;
}

HRESULT ControlObject::interfaceSafetyOptions(REFIID riid, std::uint32_t* outSupported,
                                              std::uint32_t* outEnabled) {
    if (findInterface(riid) == nullptr) return E_NOINTERFACE;
    if (outSupported == nullptr || outEnabled == nullptr) return S_OK;
    std::uint32_t supported = supportedSafetyOptions(riid);
    *outSupported = supported;
    *outEnabled = safetyOptions_ & supported;
    return supported != 0 ? S_OK : E_FAIL;
}

HRESULT ControlObject::setInterfaceSafetyOptions(REFIID riid, std::uint32_t mask,
                                                 std::uint32_t enabled) {
    if (mask == 0 || enabled == 0) return E_FAIL;
    if (findInterface(riid) == nullptr) return E_NOINTERFACE;
    safetyOptions_ |= mask & enabled;
    std::uint32_t supported = supportedSafetyOptions(riid);
    return supported != 0 && (safetyOptions_ & supported) != 0 ? S_OK : E_FAIL;
}

HRESULT ControlObject::idsOfNames(REFIID riid, OLECHAR** names, std::uint32_t count,
                                  DISPID* outIds) {
    if (!sameGuid(riid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
    if (count == 0 || names == nullptr || outIds == nullptr) return E_INVALIDARG;
    const MethodSpec* method = nullptr;
    for (const MethodSpec& row : kMethodTable) {
        if (!row.isExportOnly() && sameNameIgnoringCase(names[0], row.name)) method = &row;
    }
    HRESULT answer = S_OK;
    outIds[0] = method != nullptr ? method->dispId : DISPID_UNKNOWN;
    if (method == nullptr) answer = DISP_E_UNKNOWNNAME;
    // Further names are the method's arguments; each one's id is its position.
    for (std::uint32_t i = 1; i < count; ++i) {
        outIds[i] = DISPID_UNKNOWN;
        for (std::size_t a = 0; method != nullptr && a < method->arguments().size(); ++a) {
            if (sameNameIgnoringCase(names[i], method->arguments()[a].name)) outIds[i] = DISPID(a);
        }
        if (outIds[i] == DISPID_UNKNOWN) answer = DISP_E_UNKNOWNNAME;
    }
    return answer;
}

HRESULT ControlObject::invoke(DISPID id, REFIID riid, std::uint16_t flags, DISPPARAMS* params,
                              VARIANT* outResult, std::uint32_t* outArgumentError) {
    if (!sameGuid(riid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
    const MethodSpec* method = Dispatcher::findDispId(id);
    if (method == nullptr || !acceptsFlags(flags, *method)) return DISP_E_MEMBERNOTFOUND;
    if (params == nullptr) return E_INVALIDARG;
    if (params->cNamedArgs != 0) return DISP_E_NONAMEDARGS;
    if (params->cArgs != method->arguments().size()) return DISP_E_BADPARAMCOUNT;
    if (params->cArgs != 0 && params->rgvarg == nullptr) return E_INVALIDARG;

    return guarded(
        [&]() -> HRESULT {
            // rgvarg holds the arguments last first.
            std::vector<Argument> arguments(params->cArgs);
            for (std::uint32_t i = 0; i < params->cArgs; ++i) {
                std::uint32_t position = params->cArgs - 1 - i;
                HRESULT taken = argumentFromVariant(params->rgvarg[position],
                                                    method->arguments()[i].type, arguments[i]);
                if (taken != S_OK) {
                    if (outArgumentError != nullptr) *outArgumentError = position;
                    return taken;
                }
            }
            Result result;
            HRESULT invoked = control_.Invoke(id, arguments, result);
            if (invoked == S_OK && outResult != nullptr) storeResult(result, *outResult);
            return invoked;
        },
        hresultOfCode);
}

}  // namespace pennaform::com
