// Registration of the control in the classes hive: the keys a host reads to
// find the control's class, its ProgIDs, the library that serves it and the
// type library it names.
#pragma once

#include <string_view>

#include "platform/Outcome.h"
#include "platform/Registry.h"

namespace pennaform {

// registerControl: writes the registration into `registry`'s classes hive,
// the library's path being `modulePath`. The ProgID keys are written over;
// the CLSID key and the type library's version key are removed first and made
// anew, so registering twice leaves exactly one set of values. Each key and
// value is one change of the hive; the first failure stops the registration
// and is returned.
platform::Status registerControl(platform::Registry& registry, std::string_view modulePath);

// unregisterControl: removes both ProgID keys, the CLSID key and the type
// library's key with all below them; the "CLSID" and "TypeLib" keys stay.
// Keys already missing are not a failure.
platform::Status unregisterControl(platform::Registry& registry);

}  // namespace pennaform
