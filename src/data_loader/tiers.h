// The fixed set of tiers and the loose spellings that name them.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace tess::data_loader {

inline constexpr std::array<std::string_view, 12> TIER_NAMES = {
    "subatomic",  "atom",    "molecule", "alloy",          "ceramic",      "composite",
    "amino_acid", "protein", "cell",     "cell_component", "nucleic_acid", "biomaterial",
};

// Scope index that selects no single tier (every tier when searching).
inline constexpr std::uint8_t SCOPE_ALL = 12;

// The scope index of a loose tier spelling ("Alloys", "atom", "SUBATOMS"), or
// SCOPE_ALL when it names no tier. Lower-cases with the full Unicode mapping,
// then drops every trailing "s"; white space is kept.
std::uint8_t str_to_scope(std::string_view name);

}  // namespace tess::data_loader
