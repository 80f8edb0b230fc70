// Whole-program tests run twice in CI: as they are, and under the seeds of their "seed<n>" CTest
// entries, which set WINSIM_SEED. The world fixtures seed their worlds from it, so that what
// happens at one virtual instant goes in the orders Windows leaves open (which ready thread
// runs, which waiter is served, whether a signal beats a time-out due at the same instant), and
// every outcome that must not depend on such an order is asserted across them. An assertion on
// one such order holds only without a seed: Seeded() tells.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <optional>

#include "winsim/World.h"

namespace world_seed {

inline std::optional<std::uint64_t> Seed() {
  const char *text = std::getenv("WINSIM_SEED");
  if (text == nullptr || *text == '\0') return std::nullopt;
  return std::strtoull(text, nullptr, 10);
}

inline bool Seeded() {
  return Seed().has_value();
}

// Seeds the world when WINSIM_SEED is set.
inline void SeedWorld(winsim::World &world) {
  if (auto seed = Seed()) world.set_seed(*seed);
}

}  // namespace world_seed
