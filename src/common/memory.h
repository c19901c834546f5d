// The one rule for buffers sized from a caller's arguments: whether they may
// be asked for at all, and the one message of one that may not or could not
// be allocated.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/cancel.h"

namespace tess {

// a * b and a + b, or nothing when they do not fit 64 bits.
std::optional<std::uint64_t> checked_mul(std::uint64_t a, std::uint64_t b) noexcept;
std::optional<std::uint64_t> checked_add(std::uint64_t a, std::uint64_t b) noexcept;

// True when a buffer of `bytes` may be asked for: no larger than the
// machine's physical memory (asking for more may succeed, through overcommit,
// only to fail once the pages are used) nor than one object can span.
bool may_allocate(std::uint64_t bytes) noexcept;
// may_allocate for `count` items of `size` bytes; false when that overflows.
bool may_allocate(std::uint64_t count, std::uint64_t size) noexcept;

// "<subject> is too large to allocate", then "; <advice>" when there is
// advice. The subject starts with the origin of the message where callers
// show one ("export_obj: the OBJ of this grid").
std::string too_large_message(std::string_view subject, std::string_view advice = {});

// v.assign(n, value), filled 16 MiB at a time with `cancel` checked before
// each piece: filling gigabytes takes long enough to be worth stopping.
// Throws std::bad_alloc at once when the n items may not be allocated.
template <class T>
void assign_checked(std::vector<T>& v, std::size_t n, const T& value, const Cancel& cancel) {
  constexpr std::size_t kPiece = std::max<std::size_t>(1, (std::size_t{1} << 24) / sizeof(T));
  if (!may_allocate(n, sizeof(T))) throw std::bad_alloc();
  v.clear();
  v.reserve(n);
  while (v.size() < n) {
    cancel.check();
    v.resize(std::min(n, v.size() + kPiece), value);
  }
}

}  // namespace tess
