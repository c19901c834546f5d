// Parameter and result types of the facade's own, for what no type of the core
// says: a scope index, a tier, rows of numbers read in place from a buffer,
// numbers handed back packed; and the annotations of the types both modules
// take. Plain C++, like declare.h; how each crosses the boundary is in args.h
// and results.h.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "protein/backbone.h"
#include "pyfacade/declare.h"
#include "sample/geometry.h"

namespace tess::py {

// A scope: a tier's index, every tier for an index past the last. Taken as a
// count (an int or __index__ object); indices above the last mean every tier.
struct Scope {
  std::uint8_t index = 0;
};

// A tier, handed to Python as its name.
struct Tier {
  std::uint8_t index = 0;
};

// Rows of K numbers, taken in place from a C-contiguous float64 buffer of
// shape (n, K) (a numpy array, say), which stays alive for the call.
template <std::size_t K>
struct Float64Rows {
  std::span<const double> values;  // n * K numbers, row after row

  std::size_t rows() const { return values.size() / K; }
};

// Numbers handed to Python without a copy, in native byte order: a writable
// buffer object that keeps the vector alive (read with numpy.frombuffer).
template <class T>
struct Packed {
  Packed() = default;
  explicit Packed(std::vector<T> v) : values(std::make_shared<std::vector<T>>(std::move(v))) {}

  std::shared_ptr<std::vector<T>> values;  // shared with the buffer object
};

// A backbone to be placed while its list of dicts is built: the arguments
// that the result's conversion hands to protein::build_backbone_in_turn.
struct BackboneInTurn {
  std::string_view sequence;  // the argument's text, alive until the result is built
  std::vector<protein::AnglePair> phi_psi;
};

// A Python callable, kept alive while a copy of the handle lives; plain C++
// only passes it on.
struct Hook {
  std::shared_ptr<void> object;
};

inline std::string param_annotation(Tag<sample::Box> /*t*/) {
  return "tuple[tuple[float, float, float], tuple[float, float, float]]";
}
inline std::string param_annotation(Tag<Scope> /*t*/) { return "int"; }
inline std::string param_annotation(Tag<Hook> /*t*/) { return "Callable[[int, int, bool], object]"; }
template <std::size_t K>
std::string param_annotation(Tag<Float64Rows<K>> /*t*/) {
  return "Buffer";
}
inline std::string result_annotation(Tag<Tier> /*t*/) { return "Tier"; }
template <class T>
std::string result_annotation(Tag<Packed<T>> /*t*/) {
  return "Buffer";
}

}  // namespace tess::py
