// The board-support library Brackle: GPIO output for the front-panel LEDs and the board's
// hardware monitor. Quillet links it at load time (Brackle.dll on Windows). Every function
// returns a 32-bit signed status, 0 meaning success.
#pragma once

#include <cstdint>

// Start-up parameters of the board library: 80 bytes, passed all zero.
struct BrkInitParams {
  std::uint8_t abReserved[80];
};
static_assert(sizeof(BrkInitParams) == 80, "BrkInitParams is an 80-byte record");

// Results of BRK_Initialize and of the hardware-monitor readings.
constexpr std::int32_t BRK_SUCCESS = 0;
constexpr std::int32_t BRK_ERR_NOT_SUPPORTED = -1001;        // not supported on this board
constexpr std::int32_t BRK_ERR_ALREADY_INITIALIZED = -1002;  // BRK_Initialize only
constexpr std::int32_t BRK_ERR_HARDWARE = -1006;             // readings only

// GPIO pins of the front-panel LEDs and the levels that drive them.
constexpr std::uint8_t BRK_PIN_STATUS_LED = 10;
constexpr std::uint8_t BRK_PIN_RAID_LED_A = 32;
constexpr std::uint8_t BRK_PIN_RAID_LED_B = 12;
constexpr std::uint8_t BRK_LEVEL_LIT = 0;
constexpr std::uint8_t BRK_LEVEL_DARK = 1;

extern "C" {

std::int32_t BRK_Initialize(BrkInitParams *pParams);
std::int32_t BRK_UnInitialize();
std::int32_t BRKGpio_Write(std::uint8_t byPin, std::uint8_t byLevel);
// Rotations per minute.
std::int32_t BRKHwmCpu_GetFanSpeed(std::int32_t *pnSpeed);
// Degrees Celsius.
std::int32_t BRKHwmCpu_GetTemperature(double *pdTemperature);
std::int32_t BRKHwmSystem_GetTemperature(double *pdTemperature);
}
