// Binding of method-table rows to Engine member functions: one uniform
// invoker per operation, whatever its signature, so the dispatcher can be
// driven by the table alone.
#pragma once

#include <array>
#include <span>
#include <string_view>
#include <utility>

#include "encoding/ErrorTable.h"
#include "engine/Engine.h"
#include "interface/Values.h"

namespace pennaform {

using Invoker = Result (*)(Engine&, std::span<const Argument>);

// The value type that an operation's C++ parameter or result stands for.
template <typename T>
constexpr ValueType valueTypeOf() {
    if constexpr (std::is_same_v<T, std::int32_t>)
        return ValueType::Long;
    else
        return ValueType::String;
}

// Signature: the value types an operation takes and returns, for checking the
// table against the functions it names.
struct Signature {
    std::array<ValueType, 8> arguments{};
    int argumentCount = 0;
    ValueType result = ValueType::Long;
    bool known = false;
};

namespace detail {

template <typename T>
T argumentAs(const Argument& a) {
    if constexpr (std::is_same_v<T, std::int32_t>)
        return std::get<std::int32_t>(a);
    else
        return std::u16string_view(std::get<std::u16string>(a));
}

template <typename R>
Result resultOf(R&& r) {
    if constexpr (std::is_same_v<std::decay_t<R>, std::int32_t>)
        return Result(r);
    else
        return Result(std::optional<std::u16string>(std::forward<R>(r)));
}

template <typename R, typename... A>
struct OperationTraits {
    static constexpr std::size_t arity = sizeof...(A);
    template <auto Op, std::size_t... I>
    static Result call(Engine& e, [[maybe_unused]] std::span<const Argument> args,
                       std::index_sequence<I...>) {
        return resultOf((e.*Op)(argumentAs<A>(args[I])...));
    }
    static constexpr Signature signature() {
        return Signature{{valueTypeOf<std::decay_t<A>>()...},
                         int(sizeof...(A)),
                         valueTypeOf<std::decay_t<R>>(),
                         true};
    }
};

template <typename F>
struct MemberTraits;
template <typename R, typename... A>
struct MemberTraits<R (Engine::*)(A...)> : OperationTraits<R, A...> {};
template <typename R, typename... A>
struct MemberTraits<R (Engine::*)(A...) const> : OperationTraits<R, A...> {};

}  // namespace detail

// bound<&Engine::Op>: the invoker of an operation the Engine offers. The
// dispatcher has checked the arguments' count and types against the table.
template <auto Op>
Result bound(Engine& engine, std::span<const Argument> args) {
    using Traits = detail::MemberTraits<decltype(Op)>;
    return Traits::template call<Op>(engine, args, std::make_index_sequence<Traits::arity>{});
}

template <auto Op>
constexpr Signature signatureOf() {
    return detail::MemberTraits<decltype(Op)>::signature();
}

// notBuilt<type, refusesUntrustedCaller>: the invoker of an operation this
// build does not offer yet: code 5004, an empty string or the code itself as
// the result. An operation that refuses an untrusted caller keeps that gate
// even before it is built, so it answers 1500 to such a caller.
template <ValueType R, bool RefusesUntrustedCaller>
Result notBuilt(Engine& engine, std::span<const Argument>) {
    if (!(RefusesUntrustedCaller && engine.refuseUntrustedCaller())) {
        engine.setErrorCode(codes::kNotSupported);
    }
    if constexpr (R == ValueType::Long)
        return Result(engine.GetErrorCode());
    else
        return Result(std::optional<std::u16string>(std::u16string()));
}

}  // namespace pennaform
