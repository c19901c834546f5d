// Cα backbones from backbone torsion angles, with ideal bond geometry.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "common/error.h"

namespace tess::protein {

// One placed backbone atom, in ångström.
struct BackboneAtom {
  std::array<char, 4> residue_utf8{};  // the residue's character, UTF-8
  std::uint8_t residue_size = 0;
  const char* name = "";  // "N", "CA" or "C"
  double x = 0, y = 0, z = 0;
  std::uint32_t res_idx = 0;

  std::string_view residue() const { return {residue_utf8.data(), residue_size}; }
};

// (phi, psi) in degrees, one pair per residue.
using AnglePair = std::array<double, 2>;

// Places N, CA and C of the first min(characters of `sequence`, pairs)
// residues. Panics when `sequence` is empty; `sequence` is well-formed UTF-8.
std::vector<BackboneAtom> build_backbone(std::string_view sequence, const std::vector<AnglePair>& phi_psi);

// build_backbone's atoms, handed over while they are placed: the chain runs
// on another thread of the pool (or on the caller, when none starts it
// within a moment) and take(atoms, placed) is called on the calling thread
// each time more are placed, in order: atoms[0, placed) are final, and the
// last call has placed == atoms.size(). An exception from take is rethrown
// once the chain has finished.
void build_backbone_in_turn(std::string_view sequence, const std::vector<AnglePair>& phi_psi,
                            const std::function<void(std::span<const BackboneAtom> atoms, std::size_t placed)>& take);

// The residues build_backbone places and the positions of their atoms: x, y
// and z of N, CA and C of each residue in turn, the same numbers.
struct BackbonePositions {
  std::string residues;  // the characters placed
  std::vector<double> xyz;
};

// build_backbone's positions alone, from (phi, psi) pairs laid out flat.
BackbonePositions place_backbone(std::string_view sequence, std::span<const double> phi_psi);

// The backbone of the protein datasheet named exactly `entry_name`, from its
// "residues" (or "Residues") array. Panics when the name is empty.
Result<std::vector<BackboneAtom>> build_backbone_from_entry(std::string_view entry_name);

}  // namespace tess::protein
