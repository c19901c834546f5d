#include "common/memory.h"

#include <limits>

#include "common/platform.h"

namespace tess {

std::optional<std::uint64_t> checked_mul(std::uint64_t a, std::uint64_t b) noexcept {
  std::uint64_t r = 0;
  if (__builtin_mul_overflow(a, b, &r)) return std::nullopt;
  return r;
}

std::optional<std::uint64_t> checked_add(std::uint64_t a, std::uint64_t b) noexcept {
  std::uint64_t r = 0;
  if (__builtin_add_overflow(a, b, &r)) return std::nullopt;
  return r;
}

bool may_allocate(std::uint64_t bytes) noexcept {
  // Asked once; a system that does not say leaves only the second limit.
  static const std::uint64_t memory = platform::physical_memory().value_or(std::numeric_limits<std::uint64_t>::max());
  return bytes <= memory && bytes <= static_cast<std::uint64_t>(std::numeric_limits<std::ptrdiff_t>::max());
}

bool may_allocate(std::uint64_t count, std::uint64_t size) noexcept {
  const auto bytes = checked_mul(count, size);
  return bytes && may_allocate(*bytes);
}

std::string too_large_message(std::string_view subject, std::string_view advice) {
  std::string message(subject);
  message += " is too large to allocate";
  if (!advice.empty()) {
    message += "; ";
    message += advice;
  }
  return message;
}

}  // namespace tess
