// Dispatcher: finds a method-table row by the name a caller uses and runs its
// operation on an Engine inside the guard that keeps every failure a code.
#pragma once

#include <span>
#include <string_view>

#include "interface/MethodTable.h"

namespace pennaform {

class Dispatcher {
public:
    // findMethod: the row of an interface method name ("Hash"), or null.
    static const MethodSpec* findMethod(std::string_view name);
    // findExport: the row of a decorated export name ("_Hash@8"), or null.
    static const MethodSpec* findExport(std::string_view decoratedName);
    // findDispId: the row of an interface dispatch id, or null.
    static const MethodSpec* findDispId(int dispId);

    // argumentsFit: whether the arguments have the row's count and types.
    static bool argumentsFit(const MethodSpec& method, std::span<const Argument> args);

    // call: runs the row's operation. Arguments that do not fit the row give
    // code 5005 and the empty result. Nothing escapes: an exception thrown
    // inside becomes code 5003 (memory) or 5001 on the Engine.
    static Result call(Engine& engine, const MethodSpec& method, std::span<const Argument> args);
};

}  // namespace pennaform
