// The alloy room: random compositions of a base element and up to four
// alloying elements, their properties estimated from the elements'
// datasheets by a rule of mixtures, screened against targets, scored and
// ranked. Used by the facade's py_optimize_alloy.
//
//   optimize.h       optimize_alloy, the draw, the scoring and the ranking
//   estimate.h       the rule-of-mixtures estimator
//   candidate_rng.h  the seeded generator
#pragma once

#include "alloy/candidate_rng.h"
#include "alloy/estimate.h"
#include "alloy/optimize.h"
