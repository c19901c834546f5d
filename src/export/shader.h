// Shader source generators: a material's bulk numbers baked into GLSL and HLSL.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/cancel.h"
#include "common/error.h"
#include "common/json.h"
#include "export/names.h"

namespace tess::exporter {

// The numeric members of an entry: its top-level numbers, then the numbers of
// its "Properties" object, which replace top-level values of the same key.
// Empty when the entry is not an object.
std::map<std::string, double, std::less<>> collect_numeric_props(const Json& entry);

struct GlslOptions {
  bool include_density = true;
  bool include_ior = true;
  bool include_sss = true;
  bool include_caustic = true;  // accepted; there is no caustic channel
};

// The GLSL function returning (density, IOR, sss_r, sss_g) of `name` as a vec4,
// from the entry's numeric properties `props`.
std::string glsl_source(std::string_view name, const std::map<std::string, double, std::less<>>& props,
                        const GlslOptions& options);

// The HLSL struct Sample<ident> (hlsl_struct_name) of `properties` (all
// numeric keys in byte order when absent; fields named by hlsl_field_names)
// and the function Sample<ident>At filling it with the entry's values (0 for
// unknown keys).
std::string hlsl_source(std::string_view name, const std::map<std::string, double, std::less<>>& props,
                        const std::optional<std::vector<std::string>>& properties);

// Looks `name` up and returns its GLSL source. Panics on an empty name.
Result<std::string> export_glsl(std::string_view name, const GlslOptions& options);

// Looks `name` up, writes its HLSL source to `out_path` (creating missing
// parent directories) and returns `out_path`. A FIFO target with a reader
// that stops reading is waited on only until `cancel` stops (Cancelled).
Result<std::string> export_hlsl(std::string_view name, std::string_view out_path,
                                const std::optional<std::vector<std::string>>& properties,
                                const Cancel& cancel = Cancel::never());

}  // namespace tess::exporter
