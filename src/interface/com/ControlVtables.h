// The vtables of the control's interfaces.
#pragma once

#include "pennaform/pennaform.h"

namespace pennaform::com {

// kControlVtable: ICAPI, whose first seven slots are IDispatch's.
extern const ICAPIVtbl kControlVtable;
extern const IObjectSafetyVtbl kObjectSafetyVtable;
// The container interfaces: IUnknown's slots, then every method answering
// E_NOTIMPL (the control keeps no state to persist and draws nothing).
extern const void* const kOleObjectVtable;
extern const void* const kPersistStreamInitVtable;
extern const void* const kPersistStorageVtable;

}  // namespace pennaform::com
