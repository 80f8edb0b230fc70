// The simulated board behind the board library's stand-in: what BRK_Initialize answers on each
// attempt, the hardware monitor's readings with their result codes, and the three GPIO pins of
// the front-panel LEDs. One board per world (World::part); tests and scenario verbs set it up and
// read back what the program did. Each GPIO write is traced as `gpio` {pin, level}.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

namespace winsim {
class World;
}

namespace standins {

// A reading of the hardware monitor and the result code the library returns with it. The value
// is handed out only with result 0.
template <typename T>
struct BoardReading {
  T value;
  std::int32_t result = 0;
};

class Board {
 public:
  static constexpr std::uint8_t kPins[] = {10, 32, 12};
  // Result of a write to a pin the board does not have.
  static constexpr std::int32_t kNoSuchPin = -1001;

  // The board of `world`, made on first use: initialization succeeds, fan 3000 rpm,
  // CPU 45.0 °C, system 38.0 °C, every pin never written.
  static Board &of(winsim::World &world);

  // ---- Set-up ------------------------------------------------------------------------------
  // Results of successive BRK_Initialize calls; the last one repeats. Empty: every call gives 0.
  void set_init_results(std::vector<std::int32_t> results) { init_results_ = std::move(results); }
  void set_fan_speed(std::int32_t rpm, std::int32_t result = 0) { fan_ = {rpm, result}; }
  void set_cpu_temperature(double celsius, std::int32_t result = 0) { cpu_ = {celsius, result}; }
  void set_system_temperature(double celsius, std::int32_t result = 0) {
    system_ = {celsius, result};
  }

  const std::vector<std::int32_t> &init_results() const { return init_results_; }
  const BoardReading<std::int32_t> &fan_speed() const { return fan_; }
  const BoardReading<double> &cpu_temperature() const { return cpu_; }
  const BoardReading<double> &system_temperature() const { return system_; }

  // ---- What the program did ------------------------------------------------------------------
  int init_calls() const { return init_calls_; }
  int uninit_calls() const { return uninit_calls_; }
  // True from a BRK_Initialize that returned 0 until the next BRK_UnInitialize.
  bool initialized() const { return initialized_; }
  // The level last written to `pin`; nothing when it was never written (or is no pin).
  std::optional<std::uint8_t> level(std::uint8_t pin) const;
  static bool has_pin(std::uint8_t pin);

  // ---- Used by the library's functions -------------------------------------------------------
  // Counts an initialization attempt and gives its result: the planned failure of a fault, when
  // there is one, else the attempt's entry of the result list.
  std::int32_t initialize(std::optional<std::int32_t> planned);
  void uninitialize();
  // Drives a pin; false when the board has no such pin.
  bool write(std::uint8_t pin, std::uint8_t level);

 private:
  std::vector<std::int32_t> init_results_;
  BoardReading<std::int32_t> fan_{3000, 0};
  BoardReading<double> cpu_{45.0, 0};
  BoardReading<double> system_{38.0, 0};
  int init_calls_ = 0;
  int uninit_calls_ = 0;
  bool initialized_ = false;
  std::optional<std::uint8_t> levels_[3];
};

}  // namespace standins
