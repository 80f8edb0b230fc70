// Status codes of the health components: five digits, the first two naming the component, the
// last three its state. The codes are published in the registry and are the message numbers
// of the transition messages.
#pragma once

namespace quillet {

// Components (the first two digits).
constexpr int kCpuTemp = 11;
constexpr int kCpuFan = 12;
constexpr int kSystemTemp = 13;
constexpr int kHddTemp = 21;
constexpr int kHddSmart = 22;
constexpr int kBackup = 31;
constexpr int kFreeSpace = 32;

// States (the last three digits). 400 to 600 mark readings that failed: the board does not
// support the reading, reports a hardware error, or the reading failed otherwise (or no board).
// For the SMART state, 400 and 500 mean that no device path or no device handle was obtained.
constexpr int kNormal = 100;
constexpr int kWarning = 200;
constexpr int kError = 300;
constexpr int kNotSupported = 400;
constexpr int kHardwareError = 500;
constexpr int kReadFailed = 600;

constexpr int StatusCode(int nComponent, int nState) {
  return nComponent * 1000 + nState;
}
constexpr int StateOf(int nCode) {
  return nCode % 1000;
}

// The system status.
constexpr int kSystemNormal = 100;
constexpr int kSystemWarning = 200;
constexpr int kSystemError = 300;

}  // namespace quillet
