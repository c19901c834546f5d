#include "protein/ramachandran.h"

#include <array>

namespace tess::protein {
namespace {

struct Region {
  std::string_view name;
  double phi_from, phi_to, psi_from, psi_to;
};

constexpr std::array<Region, 4> kRegions = {{
    {"alpha_helix", -100, -30, -80, -10},
    {"beta_sheet", -180, -90, 90, 180},
    {"left_alpha", 30, 90, 0, 90},
    {"polyproline_ii", -90, -30, 110, 180},
}};

}  // namespace

std::string_view ramachandran_region(double phi_deg, double psi_deg) {
  for (const Region& r : kRegions) {
    if (r.phi_from <= phi_deg && phi_deg <= r.phi_to && r.psi_from <= psi_deg && psi_deg <= r.psi_to) return r.name;
  }
  return "other";
}

}  // namespace tess::protein
