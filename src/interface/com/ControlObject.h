// ControlObject: the control as a COM object: the CapiControl (its own
// Engine) behind ICAPI/IDispatch, the safety options a container enabled, and
// the container interfaces a host looks for before it scripts a control.
#pragma once

#include <atomic>
#include <cstdint>

#include "interface/CapiControl.h"
#include "interface/com/ComIdentity.h"

namespace pennaform::com {

class ControlObject {
public:
    // create: a new control with the Engine `config` describes, answered as
    // the interface `riid`; E_NOINTERFACE (and no control) for an interface
    // it lacks, E_OUTOFMEMORY when it cannot be built, E_POINTER for a null
    // `out`. The control counts as a live object of the module until its last
    // reference is released.
    static HRESULT create(EngineConfig config, REFIID riid, void** out) noexcept;

    // fromControl: the object behind an ICAPI of this library, or null.
    static ControlObject* fromControl(ICAPI* control);

    HRESULT queryInterface(REFIID riid, void** out);
    std::uint32_t addReference();
    std::uint32_t release();

    // Safety options, as IObjectSafety answers them.
    HRESULT interfaceSafetyOptions(REFIID riid, std::uint32_t* outSupported,
                                   std::uint32_t* outEnabled);
    HRESULT setInterfaceSafetyOptions(REFIID riid, std::uint32_t mask, std::uint32_t enabled);

    // IDispatch over the method table.
    HRESULT idsOfNames(REFIID riid, OLECHAR** names, std::uint32_t count, DISPID* outIds);
    HRESULT invoke(DISPID id, REFIID riid, std::uint16_t flags, DISPPARAMS* params,
                   VARIANT* outResult, std::uint32_t* outArgumentError);

    CapiControl& control() { return control_; }

private:
    explicit ControlObject(EngineConfig config);
    ~ControlObject();

    // findInterface: our pointer for `riid` in the order QueryInterface
    // searches, or null.
    InterfacePointer<ControlObject>* findInterface(REFIID riid);

    std::atomic<std::uint32_t> references_{1};
    std::uint32_t safetyOptions_ = 0;  // only ever added to
    CapiControl control_;
    InterfacePointer<ControlObject> dispatch_;  // ICAPI, IDispatch and IUnknown
    InterfacePointer<ControlObject> oleObject_;
    InterfacePointer<ControlObject> persistStreamInit_;  // IPersist too
    InterfacePointer<ControlObject> persistStorage_;
    InterfacePointer<ControlObject> objectSafety_;
};

}  // namespace pennaform::com
