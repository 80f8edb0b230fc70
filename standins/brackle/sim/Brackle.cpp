// The board library's functions in the simulated build: emulated calls (switch points that the
// fault plan can fail, a planned error becoming the result code) answered by the world's board.
#include "monitor/Brackle.h"

#include <optional>
#include <string>

#include "standins/Board.h"
#include "winsim/StandIn.h"
#include "winsim/World.h"

namespace {

// Any failure the fault plan does not name: -1.
constexpr std::uint32_t kDefaultFault = 0xFFFFFFFF;
constexpr std::int32_t kBadArgument = -1;

standins::Board &board() {
  return standins::Board::of(winsim::World::get());
}

std::int32_t as_result(std::uint32_t error) {
  return static_cast<std::int32_t>(error);
}

template <typename T, typename Out>
std::int32_t hand_out(const standins::BoardReading<T> &reading, Out *out) {
  if (out == nullptr) return kBadArgument;
  if (reading.result == 0) *out = static_cast<Out>(reading.value);
  return reading.result;
}

}  // namespace

extern "C" {

std::int32_t BRK_Initialize(BrkInitParams *pParams) {
  (void)pParams;
  // A failure the fault plan makes still counts as an attempt.
  auto fault = winsim::enter_call("BRK_Initialize", {}, kDefaultFault);
  std::optional<std::int32_t> planned;
  if (fault) planned = as_result(*fault);
  return board().initialize(planned);
}

std::int32_t BRK_UnInitialize() {
  if (auto fault = winsim::enter_call("BRK_UnInitialize", {}, kDefaultFault))
    return as_result(*fault);
  board().uninitialize();
  return 0;
}

std::int32_t BRKGpio_Write(std::uint8_t byPin, std::uint8_t byLevel) {
  std::string pin = std::to_string(byPin);
  if (auto fault = winsim::enter_call("BRKGpio_Write", {pin}, kDefaultFault))
    return as_result(*fault);
  if (!board().write(byPin, byLevel)) return standins::Board::kNoSuchPin;
  winsim::Trace::Record r;
  r["pin"] = byPin;
  r["level"] = byLevel;
  winsim::World::get().record("gpio", std::move(r));
  return 0;
}

std::int32_t BRKHwmCpu_GetFanSpeed(std::int32_t *pnSpeed) {
  if (auto fault = winsim::enter_call("BRKHwmCpu_GetFanSpeed", {}, kDefaultFault))
    return as_result(*fault);
  return hand_out(board().fan_speed(), pnSpeed);
}

std::int32_t BRKHwmCpu_GetTemperature(double *pdTemperature) {
  if (auto fault = winsim::enter_call("BRKHwmCpu_GetTemperature", {}, kDefaultFault))
    return as_result(*fault);
  return hand_out(board().cpu_temperature(), pdTemperature);
}

std::int32_t BRKHwmSystem_GetTemperature(double *pdTemperature) {
  if (auto fault = winsim::enter_call("BRKHwmSystem_GetTemperature", {}, kDefaultFault))
    return as_result(*fault);
  return hand_out(board().system_temperature(), pdTemperature);
}

}  // extern "C"
