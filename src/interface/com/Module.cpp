// The module's entry points: the class factory of CAPI, the unload test,
// registration, and the host's own ways to make a control and give it a
// dialog host.
#include "encoding/ErrorTable.h"
#include "interface/DialogHostChoice.h"
#include "interface/Guard.h"
#include "interface/Registration.h"
#include "interface/com/ControlObject.h"
#include "interface/com/ModuleCounts.h"
#include "platform/ModulePath.h"
#include "platform/PlatformFactory.h"

namespace pennaform::com {

ModuleCounts& moduleCounts() {
    static ModuleCounts counts;
    return counts;
}

namespace {

// The class factory is one static object; each reference a host holds on it
// counts as a live object, so the library is not unloaded under it.
HRESULT factoryQueryInterface(IClassFactory* self, REFIID riid, void** out);
std::uint32_t factoryAddReference(IClassFactory*) {
    return std::uint32_t(++moduleCounts().objects);
}
std::uint32_t factoryRelease(IClassFactory*) {
    return std::uint32_t(--moduleCounts().objects);
}
HRESULT factoryCreateInstance(IClassFactory*, IUnknown* outer, REFIID riid, void** out) {
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    if (outer != nullptr) return CLASS_E_NOAGGREGATION;
    return ControlObject::create(EngineConfig{}, riid, out);
}
HRESULT factoryLockServer(IClassFactory*, std::int32_t lock) {
    if (lock != 0)
        ++moduleCounts().locks;
    else if (moduleCounts().locks.load() > 0)
        --moduleCounts().locks;
    return S_OK;
}

const IClassFactoryVtbl kFactoryVtable = {
    .QueryInterface = &factoryQueryInterface,
    .AddRef = &factoryAddReference,
    .Release = &factoryRelease,
    .CreateInstance = &factoryCreateInstance,
    .LockServer = &factoryLockServer,
};
IClassFactory theFactory{&kFactoryVtable};

HRESULT factoryQueryInterface(IClassFactory* self, REFIID riid, void** out) {
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    if (!sameGuid(riid, IID_IClassFactory) && !sameGuid(riid, IID_IUnknown)) {
        return E_NOINTERFACE;
    }
    factoryAddReference(self);
    *out = self;
    return S_OK;
}

// hresultFromWin32: a registry failure as the HRESULT registration answers.
HRESULT hresultFromWin32(platform::PlatformError error) {
    return HRESULT(0x80070000u | (std::uint32_t(error) & 0xFFFFu));
}

// withClassesHive: runs `change` on the registry of the user's state, as the
// environment names it.
template <typename Change>
HRESULT withClassesHive(Change&& change) noexcept {
    return guarded(
        [&]() -> HRESULT {
            std::unique_ptr<platform::Platform> platform =
                platform::makePlatform(platform::StateHome());
            if (platform->registry() == nullptr) {
                return hresultFromWin32(platform::errors::kErrorNotSupported);
            }
            platform::Status changed = change(*platform->registry());
            return changed ? S_OK : hresultFromWin32(changed.error());
        },
        [](std::int32_t code) { return code == codes::kOutOfMemory ? E_OUTOFMEMORY : E_FAIL; });
}

}  // namespace
}  // namespace pennaform::com

using namespace pennaform;
using namespace pennaform::com;

extern "C" {

PENNAFORM_API HRESULT DllGetClassObject(REFCLSID rclsid, REFIID riid, void** ppv) {
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    if (!sameGuid(rclsid, CLSID_CAPI)) return CLASS_E_CLASSNOTAVAILABLE;
    return factoryQueryInterface(&theFactory, riid, ppv);
}

PENNAFORM_API HRESULT DllCanUnloadNow(void) {
    return moduleCounts().idle() ? S_OK : S_FALSE;
}

PENNAFORM_API HRESULT DllRegisterServer(void) {
    std::string modulePath = platform::loadedModulePath();
    if (modulePath.empty()) return E_FAIL;
    return withClassesHive(
        [&](platform::Registry& registry) { return registerControl(registry, modulePath); });
}

PENNAFORM_API HRESULT DllUnregisterServer(void) {
    return withClassesHive(
        [](platform::Registry& registry) { return unregisterControl(registry); });
}

PENNAFORM_API HRESULT pennaform_create_control(int32_t servesUntrustedCaller, REFIID riid,
                                               void** ppvObject) {
    EngineConfig config;
    config.untrustedCaller = servesUntrustedCaller != 0;
    return ControlObject::create(std::move(config), riid, ppvObject);
}

PENNAFORM_API int32_t pennaform_control_use_dialogs(ICAPI* control, const char* kind,
                                                    const char* answersPath,
                                                    const char* transcriptPath) {
    ControlObject* object = ControlObject::fromControl(control);
    if (object == nullptr) return codes::kBadArgument;
    return guarded(
        [&]() -> std::int32_t {
            return installNamedDialogHost(kind, answersPath, transcriptPath, [&](auto host) {
                object->control().useDialogs(std::move(host));
            });
        },
        [](std::int32_t code) { return code; });
}

}  // extern "C"
