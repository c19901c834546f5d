// Ramachandran regions of backbone torsion pairs.
#pragma once

#include <string_view>

namespace tess::protein {

// "alpha_helix", "beta_sheet", "left_alpha", "polyproline_ii" or "other":
// the first region whose closed intervals hold (phi, psi), in degrees as
// given (no wrapping).
std::string_view ramachandran_region(double phi_deg, double psi_deg);

}  // namespace tess::protein
