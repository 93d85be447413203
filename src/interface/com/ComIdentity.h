// The COM shapes shared by the control, its class factory and the module's
// entry points.
#pragma once

#include <cstring>

#include "pennaform/pennaform.h"

namespace pennaform::com {

// sameGuid: whether two identifiers are equal; a null one equals none.
inline bool sameGuid(REFIID a, const GUID& b) {
    return a != nullptr && std::memcmp(a, &b, sizeof(GUID)) == 0;
}

// InterfacePointer: what a host holds for one interface of an object: the
// vtable first, as every COM interface pointer is laid out, then the object
// that answers it.
template <typename Object>
struct InterfacePointer {
    const void* vtable;
    Object* object;
};

// objectBehind: the object an interface pointer of ours belongs to.
template <typename Object, typename Interface>
Object* objectBehind(Interface* self) {
    return reinterpret_cast<InterfacePointer<Object>*>(self)->object;
}

}  // namespace pennaform::com
