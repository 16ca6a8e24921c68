// Running a body once its arguments are matched: convert each argument by
// the C++ type of its parameter, call the body, raise its error or convert
// its result. A body is a plain function
//     R body(Params...)                 for a module function or static method,
//     R body(State& / const State&, Params...)   for an instance method,
// where R is ww::Result<T>, ww::Status, a plain T, or void.
#pragma once

#include <cstddef>
#include <tuple>
#include <type_traits>
#include <utility>

#include "bridge/arguments.h"
#include "bridge/convert_args.h"
#include "bridge/convert_result.h"
#include "bridge/errors.h"
#include "bridge/python.h"
#include "bridge/signature.h"
#include "format/result.h"

namespace ww::bridge {

template <class F>
struct BodyTraits;

template <class R, class... A>
struct BodyTraits<R (*)(A...)> {
  using Return = R;
  using Params = std::tuple<std::remove_cvref_t<A>...>;
  static constexpr std::size_t arity = sizeof...(A);
};

// The same with the instance's state split off the front.
template <class F>
struct MethodTraits;

template <class R, class S, class... A>
struct MethodTraits<R (*)(S&, A...)> {
  using Return = R;
  using State = std::remove_const_t<S>;
  static constexpr bool shared = std::is_const_v<S>;
  using Params = std::tuple<std::remove_cvref_t<A>...>;
  static constexpr std::size_t arity = sizeof...(A);
};

template <class T>
struct IsResult : std::false_type {};
template <class T>
struct IsResult<ww::Result<T>> : std::true_type {};

template <class Tuple, std::size_t... I>
bool convert_all(const Signature& sig, const ArgSlots& slots, Tuple& out, std::index_sequence<I...>) {
  // In parameter order; the first failure stops the rest.
  return ([&] {
    if (ArgKind<std::tuple_element_t<I, Tuple>>::convert(slots[I], std::get<I>(out))) return true;
    add_processing_note(sig.params[I]);
    return false;
  }() && ...);
}

template <class Tuple>
bool convert_all(const Signature& sig, const ArgSlots& slots, Tuple& out) {
  return convert_all(sig, slots, out, std::make_index_sequence<std::tuple_size_v<Tuple>>{});
}

// Calls `run` and turns what it returns into the call's result.
template <class Run>
PyObject* run_body(Run&& run) {
  using R = decltype(run());
  if constexpr (std::is_void_v<R>) {
    run();
    Py_RETURN_NONE;
  } else if constexpr (std::is_same_v<R, ww::Status>) {
    ww::Status status = run();
    if (!status.ok()) return raise_error(status.error());
    Py_RETURN_NONE;
  } else if constexpr (IsResult<R>::value) {
    R result = run();
    if (!result.ok()) return raise_error(result.error());
    return to_python(result.take());
  } else {
    return to_python(run());
  }
}

template <auto Body>
PyObject* call_function(const Signature& sig, const ArgSlots& slots) {
  typename BodyTraits<decltype(Body)>::Params params;
  if (!convert_all(sig, slots, params)) return nullptr;
  return run_body([&] { return std::apply(Body, std::move(params)); });
}

template <auto Body, class State>
PyObject* call_method(const Signature& sig, const ArgSlots& slots, State& state) {
  typename MethodTraits<decltype(Body)>::Params params;
  if (!convert_all(sig, slots, params)) return nullptr;
  return run_body([&] {
    return std::apply([&](auto&&... args) { return Body(state, std::move(args)...); }, std::move(params));
  });
}

}  // namespace ww::bridge
