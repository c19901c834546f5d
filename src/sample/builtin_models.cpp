#include "sample/sample.h"

namespace tess::sample {

void register_builtin_models(FieldModelRegistry& /*registry*/) {}

}  // namespace tess::sample
