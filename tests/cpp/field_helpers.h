// Entries whose field is any function of the point, for tests that need
// richer fields than the shipped models give: a field model registered under
// the entry's own name, reached through the usual sampling path.
#pragma once

#include <cmath>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "data_loader/store.h"
#include "sample/field_model.h"

// f(point, scale) at every point, scale being what the caller observes at
// (NaN when it gives none).
using TestField = std::function<tess::Result<double>(const tess::sample::Point&, double)>;

class TestFieldModel final : public tess::sample::FieldModel {
 public:
  explicit TestFieldModel(TestField f) : f_(std::move(f)) {}
  tess::sample::FieldSampler prepare(const tess::Json& /*entry*/, std::string_view /*property*/,
                                     std::optional<double> scale_m, tess::sample::Points /*points*/,
                                     const tess::Cancel& /*cancel*/) const override {
    const double scale = scale_m.value_or(std::nan(""));
    return tess::sample::FieldSampler::per_point([f = f_, scale](const tess::sample::Point& p) { return f(p, scale); });
  }

 private:
  TestField f_;
};

// Stores entry `name` (in the alloy tier) whose every property is `f`.
inline void store_test_field(const std::string& name, TestField f) {
  tess::sample::ensure_field_models_registered();
  tess::sample::FIELD_MODELS().insert("test:" + name, std::make_shared<const TestFieldModel>(std::move(f)));
  (void)tess::data_loader::DATA().insert_entry("alloy", name, tess::Json{{"phase_model", "test:" + name}});
}
