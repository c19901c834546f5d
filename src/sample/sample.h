// The sampling room: every read of a property of an entry in space, and the
// exact-name lookup (lookup_entry) behind py_data_sheet, the exporters and
// the Fourier bake.
//
//   sample.h        lookup_entry and sample(), the point path (py_sample,
//                   py_data_sheet)
//   field_model.h   field models, the registry FIELD_MODELS and the
//                   FieldSampler that every reader goes through
//   voronoi.h       the "voronoi" model; phase_picker.h its cell hash
//   grid_sample.h   a property over a lattice of points (the VTK writer, the
//                   Fourier bake)
//   voxel_map.h     the phase of every voxel of a box (every exporter)
//   geometry.h      Point and Box
//
// Users: the facade, the exporters, the Fourier bake. A new field model
// implements FieldModel::prepare and is registered in
// ensure_field_models_registered(); the point and grid paths then serve it.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <type_traits>

#include "common/error.h"
#include "common/json.h"
#include "data_loader/store.h"
#include "sample/field_model.h"
#include "sample/geometry.h"

namespace tess::sample {

// The failure of a lookup: "sample::lookup_entry: no datasheet found for
// '<name>'".
std::string no_datasheet_message(std::string_view name);

// f(entry) for the entry named exactly `name` in the first tier that holds
// it, read in place under the store's shared lock (f must not write to the
// store, nor keep the reference); else the lookup's failure. f returns a
// Result.
template <class F>
auto with_entry(std::string_view name, F&& f) -> std::invoke_result_t<F&, const Json&> {
  using R = std::invoke_result_t<F&, const Json&>;
  return data_loader::DATA().read().with_found(name, [&](const Json* entry) -> R {
    if (entry == nullptr) return Error(no_datasheet_message(name));
    return f(*entry);
  });
}

// A copy of the entry named exactly `name` from the first tier that holds it,
// else the lookup's failure.
Result<Json> lookup_entry(std::string_view name);

// The value of `property` of entry `name` at `at` (or for the entry as a
// whole when absent), observed at scale `scale_m`.
Result<double> sample(std::string_view name, std::string_view property, const std::optional<Point>& at,
                      std::optional<double> scale_m);

}  // namespace tess::sample
