#include "protein/backbone.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cmath>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "common/json.h"
#include "common/thread_pool.h"
#include "data_loader/store.h"

namespace tess::protein {
namespace {

constexpr double kDegToRad = 0.017453292519943295;

// Ideal geometry (ångström, degrees).
constexpr double kBondNCa = 1.458;
constexpr double kBondCaC = 1.525;
constexpr double kBondCN = 1.329;
constexpr double kAngleNCaC = 111.2;
constexpr double kAngleCaCN = 116.2;
constexpr double kAngleCNCa = 121.7;
constexpr double kOmega = 180.0;

struct Vec {
  double x, y, z;
};

Vec sub(Vec a, Vec b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
Vec cross(Vec a, Vec b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
// Two numbers in one register: the chain waits on every division, and the
// divider takes x and y in one instruction (each lane rounded as alone).
using TwoLanes = double __attribute__((vector_size(16)));

Vec unit(Vec v) {
  const double len = std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
  if (len == 0) return {0, 0, 0};
  const TwoLanes xy = TwoLanes{v.x, v.y} / len;
  return {xy[0], xy[1], v.z / len};
}

// R cos(theta) and R sin(theta) of one kind of bond.
struct BondShape {
  double along, across;
};

BondShape shape(double bond, double angle_deg) {
  const double theta = angle_deg * kDegToRad;
  return {bond * std::cos(theta), bond * std::sin(theta)};
}

// R sin(theta) cos(tau) and R sin(theta) sin(tau) of a bond with torsion tau
// (radians).
struct Turn {
  double b, c;
};

Turn turn(BondShape s, double tau) { return {s.across * std::cos(tau), s.across * std::sin(tau)}; }

// The atom bonded to p1 at the bond's length and angle, with the torsion of
// `t` about the bond p2-p1, in the IUPAC sign convention: the dihedral
// p3-p2-p1-atom equals tau.
[[gnu::always_inline]] inline Vec place(Vec p3, Vec p2, Vec p1, BondShape s, Turn t) {
  const Vec bc = unit(sub(p1, p2));
  const Vec n = unit(cross(sub(p2, p3), bc));
  const Vec m = cross(n, bc);
  const double a = -s.along;
  return {p1.x + a * bc.x + t.b * m.x + t.c * n.x, p1.y + a * bc.y + t.b * m.y + t.c * n.y,
          p1.z + a * bc.z + t.b * m.z + t.c * n.z};
}

// Length in bytes of the UTF-8 sequence starting with `lead`.
std::size_t utf8_length(unsigned char lead) {
  if (lead < 0x80) return 1;
  if ((lead >> 5) == 0x6) return 2;
  if ((lead >> 4) == 0xE) return 3;
  if ((lead >> 3) == 0x1E) return 4;
  return 1;
}

// The residues placed from `sequence` and `pairs` (pair i is (phi, psi) of
// residue i, in degrees): the first min(characters, pairs) characters, and
// the bytes they take.
struct Residues {
  std::size_t residues = 0, bytes = 0;
};

Residues residues_placed(std::string_view sequence, std::size_t pairs) {
  Residues p;
  for (; p.bytes < sequence.size() && p.residues < pairs; ++p.residues) {
    p.bytes += utf8_length(static_cast<unsigned char>(sequence[p.bytes]));
  }
  p.bytes = std::min(p.bytes, sequence.size());
  return p;
}

// The torsion terms of residue i >= 1: psi of the residue before it, phi of
// its own.
struct Torsion {
  Turn psi, phi;
};

// A chain placed beside its taker hands its atoms over every this many
// residues; the taker waits at most kChainStartGrace for a thread of the pool
// to start it.
constexpr std::size_t kResiduesPerHandOver = 128;
// Shorter chains are placed whole first: they take less time than starting
// a thread of the pool.
constexpr std::size_t kInTurnFrom = 1024;
constexpr std::chrono::microseconds kChainStartGrace{200};

// Chains of at least this many residues have their torsion terms made ahead
// on another thread of the pool, in blocks of kTorsionBlock residues.
constexpr std::size_t kTorsionsAheadFrom = 8192;
constexpr std::size_t kTorsionBlock = 256;

// The torsion terms of a long chain, made in blocks by whichever thread
// claims a block first: the pool's, running ahead, or the chain's own when it
// reaches a block nobody has started, so the chain never waits on a thread
// that is busy elsewhere. Each term is the same function of the same angles
// wherever it is made.
template <class Make>
class TorsionsAhead {
 public:
  TorsionsAhead(std::size_t n, const Make& make)
      : terms_(n),
        state_(std::make_unique<std::atomic<int>[]>((n + kTorsionBlock - 1) / kTorsionBlock)),
        blocks_((n + kTorsionBlock - 1) / kTorsionBlock),
        make_(make) {}

  // Makes every block not yet claimed (the pool's side).
  void run_ahead() {
    for (std::size_t b = 0; b < blocks_; ++b)
      if (claim(b)) fill(b);
  }

  // Residue i's terms, made or waited for (the chain's side).
  const Torsion& at(std::size_t i) {
    if (i % kTorsionBlock == 0 || i == 1) {
      const std::size_t b = i / kTorsionBlock;
      if (claim(b)) {
        fill(b);
      } else {
        while (state_[b].load(std::memory_order_acquire) != kMade) std::this_thread::yield();
      }
    }
    return terms_[i];
  }

 private:
  static constexpr int kFree = 0, kClaimed = 1, kMade = 2;

  bool claim(std::size_t b) {
    int expected = kFree;
    return state_[b].compare_exchange_strong(expected, kClaimed, std::memory_order_acq_rel);
  }

  void fill(std::size_t b) {
    const std::size_t end = std::min(terms_.size(), (b + 1) * kTorsionBlock);
    for (std::size_t i = std::max<std::size_t>(b * kTorsionBlock, 1); i < end; ++i) terms_[i] = make_(i);
    state_[b].store(kMade, std::memory_order_release);
  }

  std::vector<Torsion> terms_;
  std::unique_ptr<std::atomic<int>[]> state_;
  std::size_t blocks_;
  const Make& make_;  // residue i -> its Torsion
};

// Places the N, CA and C atoms of residues 0 .. n - 1 and hands each residue
// to put(i, n_at, ca_at, c_at), in order. `pair(i)` gives residue i's
// (phi, psi) in degrees.
template <class Pair, class Put>
void place_residues(std::size_t n, Pair&& pair, Put&& put) {
  if (n == 0) return;
  const BondShape to_n = shape(kBondCN, kAngleCaCN);
  const BondShape to_ca = shape(kBondNCa, kAngleCNCa);
  const BondShape to_c = shape(kBondCaC, kAngleNCaC);
  const Turn omega = turn(to_ca, kOmega * kDegToRad);
  const auto torsion = [&](std::size_t i) {
    return Torsion{turn(to_n, pair(i - 1)[1] * kDegToRad), turn(to_c, pair(i)[0] * kDegToRad)};
  };

  // Each atom is placed from the three before it: one chain of dependent
  // steps, the torsion terms (independent of it) made beside it.
  const auto chain = [&](auto&& torsion_of) {
    Vec n_prev{0, 0, 0};
    Vec ca_prev{kBondNCa, 0, 0};
    Vec c_prev{kBondNCa - kBondCaC * std::cos(kAngleNCaC * kDegToRad), kBondCaC * std::sin(kAngleNCaC * kDegToRad), 0};
    put(0, n_prev, ca_prev, c_prev);
    for (std::size_t i = 1; i < n; ++i) {
      const Torsion t = torsion_of(i);
      const Vec n_i = place(n_prev, ca_prev, c_prev, to_n, t.psi);
      const Vec ca_i = place(ca_prev, c_prev, n_i, to_ca, omega);
      const Vec c_i = place(c_prev, n_i, ca_i, to_c, t.phi);
      put(i, n_i, ca_i, c_i);
      n_prev = n_i;
      ca_prev = ca_i;
      c_prev = c_i;
    }
  };
  if (n < kTorsionsAheadFrom || pool_size() < 2) return chain(torsion);
  TorsionsAhead ahead(n, torsion);
  parallel_for(2, [&](std::size_t item) {
    if (item == 0) return chain([&](std::size_t i) -> const Torsion& { return ahead.at(i); });
    ahead.run_ahead();
  });
}

// Places the atoms of `out` (three per residue, sized by the caller) and
// calls placed(i) after residue i, for residues_per_call of them at a time
// and after the last.
template <class Placed>
void place_atoms(std::string_view sequence, const std::vector<AnglePair>& phi_psi, std::vector<BackboneAtom>& out,
                 std::size_t residues_per_call, Placed&& placed) {
  // Residue i's three atoms: its character, names and index, then the
  // coordinates.
  std::size_t pos = 0;
  const std::size_t n = out.size() / 3;
  place_residues(
      n, [&](std::size_t i) -> const AnglePair& { return phi_psi[i]; },
      [&](std::size_t i, Vec n_at, Vec ca_at, Vec c_at) {
        const std::size_t len = std::min(utf8_length(static_cast<unsigned char>(sequence[pos])), sequence.size() - pos);
        static constexpr const char* kNames[3] = {"N", "CA", "C"};
        const Vec at[3] = {n_at, ca_at, c_at};
        for (std::size_t k = 0; k < 3; ++k) {
          BackboneAtom& atom = out[3 * i + k];
          std::copy_n(sequence.data() + pos, len, atom.residue_utf8.begin());
          atom.residue_size = static_cast<std::uint8_t>(len);
          atom.name = kNames[k];
          atom.res_idx = static_cast<std::uint32_t>(i);
          atom.x = at[k].x;
          atom.y = at[k].y;
          atom.z = at[k].z;
        }
        pos += len;
        if ((i + 1) % residues_per_call == 0 || i + 1 == n) placed(i + 1);
      });
}

}  // namespace

std::vector<BackboneAtom> build_backbone(std::string_view sequence, const std::vector<AnglePair>& phi_psi) {
  if (sequence.empty()) panic("build_backbone: sequence must be non-empty");
  std::vector<BackboneAtom> out(3 * residues_placed(sequence, phi_psi.size()).residues);
  place_atoms(sequence, phi_psi, out, out.size() + 1, [](std::size_t) {});
  return out;
}

void build_backbone_in_turn(std::string_view sequence, const std::vector<AnglePair>& phi_psi,
                            const std::function<void(std::span<const BackboneAtom>, std::size_t)>& take) {
  if (sequence.empty()) panic("build_backbone: sequence must be non-empty");
  std::vector<BackboneAtom> out(3 * residues_placed(sequence, phi_psi.size()).residues);
  std::atomic<std::size_t> placed{0};  // atoms final so far
  std::atomic<bool> chain_started{false};
  std::atomic<bool> taking_started{false};
  std::atomic<bool> chain_failed{false};  // its exception then comes back from parallel_for
  const auto chain = [&] {
    try {
      place_atoms(sequence, phi_psi, out, kResiduesPerHandOver,
                  [&](std::size_t residues) { placed.store(3 * residues, std::memory_order_release); });
    } catch (...) {
      chain_failed.store(true);
      throw;
    }
  };
  if (out.size() < 3 * kInTurnFrom) {
    chain();
    return take(out, out.size());
  }
  const auto take_all_in_turn = [&] {
    // A thread of the pool is given a moment to start the chain; one that
    // is busy elsewhere is not waited for.
    const auto deadline = std::chrono::steady_clock::now() + kChainStartGrace;
    while (!chain_started.load() && std::chrono::steady_clock::now() < deadline) std::this_thread::yield();
    if (!chain_started.exchange(true)) chain();
    std::size_t taken = 0;
    do {
      std::size_t now = placed.load(std::memory_order_acquire);
      while (now == taken && now < out.size()) {
        if (chain_failed.load()) return;
        std::this_thread::yield();
        now = placed.load(std::memory_order_acquire);
      }
      take(out, now);
      taken = now;
    } while (taken < out.size());
  };
  // Two items: the chain, on whichever thread comes first, and the taking,
  // which only the caller does. The pool's threads may run both items before
  // the caller gets to one: the caller then takes the atoms, all placed,
  // once they are.
  const auto caller = std::this_thread::get_id();
  parallel_for(2, [&](std::size_t) {
    if (std::this_thread::get_id() == caller && !taking_started.exchange(true)) return take_all_in_turn();
    if (!chain_started.exchange(true)) chain();
  });
  if (!taking_started.exchange(true)) take(out, out.size());
}

BackbonePositions place_backbone(std::string_view sequence, std::span<const double> phi_psi) {
  if (sequence.empty()) panic("build_backbone: sequence must be non-empty");
  const auto [n, bytes] = residues_placed(sequence, phi_psi.size() / 2);
  BackbonePositions out;
  out.residues = sequence.substr(0, bytes);
  out.xyz.resize(9 * n);
  double* xyz = out.xyz.data();
  place_residues(
      n,
      [&](std::size_t i) {
        return std::array<double, 2>{phi_psi[2 * i], phi_psi[2 * i + 1]};
      },
      [&](std::size_t, Vec n_at, Vec ca_at, Vec c_at) {
        for (const Vec& v : {n_at, ca_at, c_at}) {
          *xyz++ = v.x;
          *xyz++ = v.y;
          *xyz++ = v.z;
        }
      });
  return out;
}

Result<std::vector<BackboneAtom>> build_backbone_from_entry(std::string_view entry_name) {
  if (entry_name.empty()) panic("build_backbone_from_entry: name must be non-empty");
  const std::string quoted = "build_backbone_from_entry: entry '" + std::string(entry_name) + "'";
  // The entry is read in place; the store stays locked shared until the
  // backbone is built.
  return data_loader::DATA().read().with_found(entry_name, [&](const Json* entry) -> Result<std::vector<BackboneAtom>> {
    if (entry == nullptr) return Error(quoted + " not found");
    const Json* residues = member(*entry, "residues");
    if (residues == nullptr) residues = member(*entry, "Residues");
    if (residues == nullptr || !residues->is_array()) return Error(quoted + " has no 'residues' array");
    if (residues->empty()) return std::vector<BackboneAtom>{};
    std::string sequence;
    std::vector<AnglePair> pairs;
    pairs.reserve(residues->size());
    for (const Json& r : *residues) {
      std::string_view code = "X";
      if (const Json* s = member(r, "residue"); s != nullptr && s->is_string()) {
        const auto& text = s->get_ref<const std::string&>();
        if (!text.empty()) code = std::string_view(text).substr(0, utf8_length(static_cast<unsigned char>(text[0])));
      }
      sequence += code;
      const Json* phi = member(r, "phi");
      const Json* psi = member(r, "psi");
      pairs.push_back(
          {phi != nullptr ? as_number(*phi).value_or(0.0) : 0.0, psi != nullptr ? as_number(*psi).value_or(0.0) : 0.0});
    }
    return build_backbone(sequence, pairs);
  });
}

}  // namespace tess::protein
