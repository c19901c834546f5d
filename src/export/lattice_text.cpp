#include "export/lattice_text.h"

#include "common/numfmt.h"

namespace tess::exporter {

LatticeText::LatticeText(const std::vector<double>& values, int decimals) {
  offsets_.reserve(values.size() + 1);
  offsets_.push_back(0);
  for (double v : values) {
    numfmt::append_fixed(text_, v, decimals);
    offsets_.push_back(text_.size());
  }
}

}  // namespace tess::exporter
