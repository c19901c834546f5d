#include "sample/sample.h"

#include <utility>

namespace tess::sample {

std::string no_datasheet_message(std::string_view name) {
  return "sample::lookup_entry: no datasheet found for '" + std::string(name) + "'";
}

Result<Json> lookup_entry(std::string_view name) {
  auto found = data_loader::DATA().find_entry(name);
  if (!found) return Error(no_datasheet_message(name));
  return std::move(*found);
}

Result<double> sample(std::string_view name, std::string_view property, const std::optional<Point>& at,
                      std::optional<double> scale_m) {
  // Read in place: nothing keeps a reference to the entry after the call.
  return with_entry(name, [&](const Json& entry) {
    return prepare_field(entry, property, scale_m, at ? Points::one : Points::none).at(at.value_or(Point{}));
  });
}

}  // namespace tess::sample
