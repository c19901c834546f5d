// Declaring the module's Python functions, each once, next to its handler.
//
// A handler is a plain C++ function; the types of its parameters say how each
// Python argument is converted (src/pyfacade/args.h) and how it is annotated
// in the type stubs, the type of its result how the result is handed back
// (src/pyfacade/results.h). A declaration adds what the types cannot say: the
// Python name, the parameter names, the defaults (as values), the description
// and the exception class of the reported failures. The interpreter's text
// signature and doc string, the argument parser and the stubs all follow from
// it, so nothing about a parameter is written twice.
//
// This header includes no Python: the stub generator (make_stub.cpp) is built
// from it without the interpreter.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <tuple>
#include <type_traits>
#include <utility>
#include <vector>

#include "common/cancel.h"
#include "common/error.h"
#include "common/numfmt.h"

namespace tess::py {

// The built-in exception class that a function's reported failures (its
// handler's Error values) are raised as.
enum class Raises : std::uint8_t { key_error, value_error, runtime_error };

// The classes of a function's reported failures, one per level of Result its
// handler returns: none for a handler that cannot fail, one for Result<T>,
// and for Result<Result<T>> the class of the outer failure, then of the inner.
template <Raises... R>
struct Raising {};

// A parameter with a default value. A parameter given by name alone is
// required, unless its type is std::optional, which defaults to None.
template <class T>
struct Default {
  const char* name;
  T value;
};

template <class T>
constexpr Default<T> arg(const char* name, T value) {
  return {name, value};
}

// The parameters of a declaration, in order: names, or arg(name, default).
template <class... Specs>
constexpr std::tuple<Specs...> params(Specs... specs) {
  return {specs...};
}

namespace detail {

template <class T>
inline constexpr bool is_optional = false;
template <class T>
inline constexpr bool is_optional<std::optional<T>> = true;
template <class T>
inline constexpr bool is_result = false;
template <class T>
inline constexpr bool is_result<Result<T>> = true;
template <class T>
inline constexpr std::size_t result_depth = 0;
template <class T>
inline constexpr std::size_t result_depth<Result<T>> = 1 + result_depth<T>;
template <class T>
inline constexpr bool is_default = false;
template <class T>
inline constexpr bool is_default<Default<T>> = true;

template <class... A>
constexpr bool last_is_cancel() {
  if constexpr (sizeof...(A) == 0) {
    return false;
  } else {
    return std::is_same_v<std::tuple_element_t<sizeof...(A) - 1, std::tuple<A...>>, const Cancel&>;
  }
}

// What a handler takes and returns. A trailing `const Cancel&` is no Python
// parameter: the call passes a token that stops on Ctrl-C.
template <class F>
struct Signature;
template <class R, class... A>
struct Signature<R (*)(A...)> {
  using Return = R;
  static constexpr bool cancellable = last_is_cancel<A...>();
  static constexpr std::size_t arity = sizeof...(A) - (cancellable ? 1 : 0);
  template <std::size_t I>
  using Param = std::remove_cvref_t<std::tuple_element_t<I, std::tuple<A...>>>;
};

inline constexpr const char* spec_name(const char* name) { return name; }
template <class T>
constexpr const char* spec_name(const Default<T>& spec) {
  return spec.name;
}

// Per parameter: whether it has a default (given, or None for an optional
// type), and whether it was given one although its type is optional.
template <class Sig, class... Specs, std::size_t... I>
constexpr std::array<bool, sizeof...(Specs)> defaulted(std::index_sequence<I...> /*params*/) {
  return {(is_default<Specs> || is_optional<typename Sig::template Param<I>>)...};
}
template <class Sig, class... Specs, std::size_t... I>
constexpr bool default_on_optional(std::index_sequence<I...> /*params*/) {
  return ((is_default<Specs> && is_optional<typename Sig::template Param<I>>) || ...);
}

template <std::size_t N>
constexpr std::size_t leading_false(const std::array<bool, N>& flags) {
  std::size_t n = 0;
  while (n < N && !flags[n]) ++n;
  return n;
}

template <Raises... R>
constexpr std::size_t count_classes(Raising<R...> /*classes*/) {
  return sizeof...(R);
}

template <class Each, std::size_t... I>
void for_each_index(Each&& each, std::index_sequence<I...> /*indices*/) {
  (each(std::integral_constant<std::size_t, I>{}), ...);
}

}  // namespace detail

template <class F>
struct WithoutGil;

// One Python function: the handler `Fn`, the classes `R` (a Raising) of its
// reported failures, and the name, parameters and description.
template <auto Fn, class R, class... Specs>
struct Function {
  using Sig = detail::Signature<decltype(Fn)>;
  template <std::size_t I>
  using Param = typename Sig::template Param<I>;
  template <std::size_t I>
  using Spec = std::tuple_element_t<I, std::tuple<Specs...>>;

  static constexpr auto handler = Fn;
  using Raised = R;
  static constexpr std::size_t arity = sizeof...(Specs);
  static_assert(arity == Sig::arity, "one parameter name per parameter of the handler");
  static_assert(((std::is_same_v<Specs, const char*> || detail::is_default<Specs>)&&...),
                "a parameter is a name or arg(name, default)");
  static_assert(!detail::default_on_optional<Sig, Specs...>(std::make_index_sequence<arity>{}),
                "an optional parameter defaults to None");
  static_assert(detail::result_depth<typename Sig::Return> == detail::count_classes(R{}),
                "a handler returns one level of Result per exception class its failures are raised as");

  // Per parameter: whether it has a default; the required ones come first.
  static constexpr std::array<bool, arity> defaulted =
      detail::defaulted<Sig, Specs...>(std::make_index_sequence<arity>{});
  static constexpr std::size_t required = detail::leading_false(defaulted);
  static_assert(detail::leading_false(defaulted) == arity - std::count(defaulted.begin(), defaulted.end(), true),
                "parameters with defaults come after the required ones");

  const char* name;
  std::tuple<Specs...> params;
  const char* description;  // the doc string after the text signature

  template <std::size_t I>
  constexpr const char* param_name() const {
    return detail::spec_name(std::get<I>(params));
  }

  constexpr std::array<const char*, arity> names() const {
    return std::apply([](const auto&... spec) { return std::array<const char*, arity>{detail::spec_name(spec)...}; },
                      params);
  }

  // The same function, its handler run without the interpreter lock, for
  // handlers that may take more than about a millisecond or wait for a lock
  // of the store. Arguments are converted and results built under the lock;
  // the call's token takes it back at each poll (see unlocked.h).
  constexpr WithoutGil<Function> nogil() const { return {*this}; }
};

template <class F>
struct WithoutGil : F {};

// Whether the handler of a declaration runs without the interpreter lock.
template <class F>
inline constexpr bool without_gil = false;
template <class F>
inline constexpr bool without_gil<WithoutGil<F>> = true;

// The declaration of a Python function with handler `Fn` whose reported
// failures are raised as `R`.
template <auto Fn, Raises... R, class... Specs>
constexpr Function<Fn, Raising<R...>, Specs...> def(const char* name, std::tuple<Specs...> parameters,
                                                    const char* description) {
  return {name, parameters, description};
}

// ---------------------------------------------------------------------------
// Python annotations of the handlers' types, for the stubs
// ---------------------------------------------------------------------------

template <class T>
struct Tag {};

// param_annotation(Tag<T>{}): the annotation of a parameter of type T.
inline std::string param_annotation(Tag<std::string_view> /*t*/) { return "str"; }
inline std::string param_annotation(Tag<std::string> /*t*/) { return "str"; }
inline std::string param_annotation(Tag<double> /*t*/) { return "float"; }
inline std::string param_annotation(Tag<bool> /*t*/) { return "bool"; }
inline std::string param_annotation(Tag<std::uint64_t> /*t*/) { return "int"; }
template <class T>
std::string param_annotation(Tag<std::optional<T>> /*t*/) {
  return param_annotation(Tag<T>{}) + " | None";
}
template <class T, std::size_t N>
std::string param_annotation(Tag<std::array<T, N>> /*t*/) {
  std::string s = "tuple[";
  for (std::size_t i = 0; i < N; ++i) s += (i == 0 ? "" : ", ") + param_annotation(Tag<T>{});
  return s + "]";
}
template <class T>
std::string param_annotation(Tag<std::vector<T>> /*t*/) {
  return "Sequence[" + param_annotation(Tag<T>{}) + "]";
}

// result_annotation(Tag<T>{}): the annotation of what a handler returning T
// gives back.
template <class T>
std::string result_annotation(Tag<Result<T>> /*t*/) {
  return result_annotation(Tag<T>{});
}
inline std::string result_annotation(Tag<double> /*t*/) { return "float"; }
inline std::string result_annotation(Tag<bool> /*t*/) { return "bool"; }
inline std::string result_annotation(Tag<std::string_view> /*t*/) { return "str"; }
inline std::string result_annotation(Tag<std::string> /*t*/) { return "str"; }
template <class T>
requires std::is_integral_v<T> &&(!std::is_same_v<T, bool>)std::string result_annotation(Tag<T> /*t*/) { return "int"; }
template <class T>
std::string result_annotation(Tag<std::optional<T>> /*t*/) {
  return result_annotation(Tag<T>{}) + " | None";
}
template <class T>
std::string result_annotation(Tag<std::vector<T>> /*t*/) {
  return "list[" + result_annotation(Tag<T>{}) + "]";
}
template <class T>
std::string result_annotation(Tag<std::span<const T>> /*t*/) {
  return "tuple[" + result_annotation(Tag<T>{}) + ", ...]";
}
template <class A, class B>
std::string result_annotation(Tag<std::pair<A, B>> /*t*/) {
  return "tuple[" + result_annotation(Tag<A>{}) + ", " + result_annotation(Tag<B>{}) + "]";
}
template <class... T>
std::string result_annotation(Tag<std::tuple<T...>> /*t*/) {
  std::string s = "tuple[";
  ((s += (s.back() == '[' ? "" : ", ") + result_annotation(Tag<T>{})), ...);
  return s + "]";
}
template <class T, std::size_t N>
std::string result_annotation(Tag<std::array<T, N>> /*t*/) {
  std::string s = "tuple[";
  for (std::size_t i = 0; i < N; ++i) s += (i == 0 ? "" : ", ") + result_annotation(Tag<T>{});
  return s + "]";
}

// ---------------------------------------------------------------------------
// Text signatures, doc strings and stubs
// ---------------------------------------------------------------------------

// A default value as a Python literal.
template <class T>
std::string python_literal(T value) {
  if constexpr (std::is_same_v<T, bool>) {
    return value ? "True" : "False";
  } else if constexpr (std::is_integral_v<T>) {
    static_assert(std::is_unsigned_v<T>, "counts are unsigned");
    std::string s;
    numfmt::append_unsigned(s, value);
    return s;
  } else if constexpr (std::is_floating_point_v<T>) {
    return numfmt::json_float(value);  // shortest round trip; defaults are finite
  } else {
    static_assert(std::is_same_v<T, const char*>, "a default is a flag, a count, a number or a text");
    return std::string("\"") + value + "\"";  // plain text: no quotes or backslashes
  }
}

// Each parameter as "name", "name=default", or with its annotation for the
// stubs, "name: annotation" or "name: annotation = default".
template <class F>
std::vector<std::string> param_texts(const F& f, bool annotated) {
  std::vector<std::string> texts;
  detail::for_each_index(
      [&](auto i) {
        constexpr std::size_t I = decltype(i)::value;
        std::string p = f.template param_name<I>();
        if (annotated) p += ": " + param_annotation(Tag<typename F::template Param<I>>{});
        if constexpr (detail::is_default<typename F::template Spec<I>>) {
          p += (annotated ? " = " : "=") + python_literal(std::get<I>(f.params).value);
        } else if constexpr (F::defaulted[I]) {
          p += annotated ? " = None" : "=None";
        }
        texts.push_back(std::move(p));
      },
      std::make_index_sequence<F::arity>{});
  return texts;
}

// The stored doc string: the text signature as the interpreter shows it
// ("py_get(spec, scope_str=None)"), "\n--\n\n" and the description.
template <class F>
std::string doc(const F& f) {
  std::string s = f.name;
  s += '(';
  for (const std::string& p : param_texts(f, false)) s += (s.back() == '(' ? "" : ", ") + p;
  return s + ")\n--\n\n" + f.description;
}

}  // namespace tess::py
