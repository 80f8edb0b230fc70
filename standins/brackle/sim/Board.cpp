#include "standins/Board.h"

#include "winsim/World.h"

namespace standins {
namespace {

int pin_index(std::uint8_t pin) {
  for (int i = 0; i < 3; ++i)
    if (Board::kPins[i] == pin) return i;
  return -1;
}

}  // namespace

Board &Board::of(winsim::World &world) {
  return world.part<Board>();
}

std::optional<std::uint8_t> Board::level(std::uint8_t pin) const {
  int i = pin_index(pin);
  return i < 0 ? std::nullopt : levels_[i];
}

bool Board::has_pin(std::uint8_t pin) {
  return pin_index(pin) >= 0;
}

std::int32_t Board::initialize(std::optional<std::int32_t> planned) {
  std::size_t attempt = static_cast<std::size_t>(init_calls_++);
  std::int32_t result = 0;
  if (planned)
    result = *planned;
  else if (!init_results_.empty())
    result = init_results_[attempt < init_results_.size() ? attempt : init_results_.size() - 1];
  if (result == 0) initialized_ = true;
  return result;
}

void Board::uninitialize() {
  ++uninit_calls_;
  initialized_ = false;
}

bool Board::write(std::uint8_t pin, std::uint8_t level) {
  int i = pin_index(pin);
  if (i < 0) return false;
  levels_[i] = level;
  return true;
}

}  // namespace standins
