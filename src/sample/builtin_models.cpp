#include <memory>

#include "sample/sample.h"
#include "sample/voronoi.h"

namespace tess::sample {

void register_builtin_models(FieldModelRegistry& registry) {
  registry.insert("voronoi", std::make_shared<const VoronoiPhaseModel>());
}

}  // namespace tess::sample
