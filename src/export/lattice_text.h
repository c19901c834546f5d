// The lattice coordinates of one axis, each formatted once for text writers.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace tess::exporter {

class LatticeText {
 public:
  // Formats every value fixed-point with `decimals` decimals.
  LatticeText(const std::vector<double>& values, int decimals);
  std::string_view operator[](std::size_t i) const {
    return std::string_view(text_).substr(offsets_[i], offsets_[i + 1] - offsets_[i]);
  }

 private:
  std::string text_;
  std::vector<std::size_t> offsets_;
};

}  // namespace tess::exporter
