#include "interface/Dispatcher.h"

#include <algorithm>

#include "encoding/ErrorTable.h"
#include "interface/Guard.h"

namespace pennaform {
namespace {

const MethodSpec* findRow(auto predicate) {
    auto it = std::find_if(kMethodTable.begin(), kMethodTable.end(), predicate);
    return it == kMethodTable.end() ? nullptr : &*it;
}

}  // namespace

const MethodSpec* Dispatcher::findMethod(std::string_view name) {
    return findRow([&](const MethodSpec& m) { return !m.isExportOnly() && m.name == name; });
}

const MethodSpec* Dispatcher::findExport(std::string_view decoratedName) {
    return findRow([&](const MethodSpec& m) { return m.hasDecoratedName(decoratedName); });
}

const MethodSpec* Dispatcher::findDispId(int dispId) {
    return findRow([&](const MethodSpec& m) { return !m.isExportOnly() && m.dispId == dispId; });
}

bool Dispatcher::argumentsFit(const MethodSpec& method, std::span<const Argument> args) {
    if (args.size() != method.arguments().size()) return false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        bool isLong = std::holds_alternative<std::int32_t>(args[i]);
        if (isLong != (method.arguments()[i].type == ValueType::Long)) return false;
    }
    return true;
}

Result Dispatcher::call(Engine& engine, const MethodSpec& method, std::span<const Argument> args) {
    if (!argumentsFit(method, args)) {
        engine.setErrorCode(codes::kBadArgument);
        return emptyResult(method.result);
    }
    // The command and the bridge call here without a door of their own, so
    // the dispatcher answers an operation's exceptions through the same guard.
    return guarded([&] { return method.invoke(engine, args); },
                   [&](std::int32_t code) {
                       engine.setErrorCode(code);
                       return emptyResult(method.result);
                   });
}

}  // namespace pennaform
