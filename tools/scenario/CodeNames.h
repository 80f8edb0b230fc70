// Names beside the codes a run is full of: what the timeline, the picture and the scenario
// language write next to a number so that a reader need not look it up. Windows codes get their
// Windows names (ERROR_SHARING_VIOLATION, SERVICE_CONTROL_POWEREVENT as POWEREVENT, RUNNING),
// the appliance's codes their meaning (pin 10 "status LED", 12200 "CPU fan warning").
// Every function gives an empty name for a code it does not know.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace scenario {

// ---- winsim ------------------------------------------------------------------------------------
// The calls winsim emulates, which a fault rule may name: Win32 functions ("RegOpenKeyExA"),
// COM methods ("IMMDevice::OpenPropertyStore") and the stand-in libraries' functions
// ("BRK_Initialize"). Read from winsim's sources when the simulator is built.
const std::vector<std::string_view> &emulated_calls();
bool is_emulated_call(std::string_view name);
// The system error code's name from the Win32 face ("ERROR_SHARING_VIOLATION").
std::string_view error_name(std::uint32_t code);

// ---- Services
// ------------------------------------------------------------------------------------
std::string_view service_state_name(std::uint32_t state);  // "RUNNING"
std::string_view control_name(std::uint32_t control);      // "POWEREVENT"
std::string_view power_event_name(std::uint32_t type);     // "PBT_APMSUSPEND"
// The controls a service accepts, "STOP|SHUTDOWN|PARAMCHANGE|POWEREVENT" (bits not known as hex).
std::string accepted_controls_names(std::uint32_t mask);
// The scenario language's words for controls ("stop", "powerevent": the names in lower case)
// and for power events ("suspend", "resume", "resumeautomatic", ...).
std::optional<std::uint32_t> control_of_word(std::string_view word);
std::optional<std::uint32_t> power_event_of_word(std::string_view word);
const std::vector<std::string_view> &control_words();      // "stop", "pause", ...
const std::vector<std::string_view> &power_event_words();  // "suspend", "resume", ...
// Whether a power event puts the machine to sleep, or wakes it.
bool is_suspend(std::uint32_t type);
bool is_resume(std::uint32_t type);

// ---- The appliance ---------------------------------------------------------------------------
std::string_view led_name(std::uint32_t pin);           // "status LED" (10), "RAID LED A" (32), ...
std::string_view gpio_level_name(std::uint32_t level);  // 0 "lit", 1 "dark"
std::string_view event_type_name(std::uint32_t type);   // "error", "warning", "information"
// A health component's status code, or the system status: "CPU fan warning" (12200),
// "HDD SMART no device handle" (22500), "system error" (300).
std::string status_code_name(std::uint32_t code);
bool is_status_code(std::uint32_t code);
// The snooze types of "LedSnoozeType".
std::string_view snooze_type_name(std::uint32_t type);
// What QORASetup's exit code says.
std::string_view installer_exit_name(std::uint32_t code);

// ---- Shell and window messages ---------------------------------------------------------------
std::string_view window_message_name(std::uint32_t msg);  // "WM_DEVICECHANGE"
std::string_view device_event_name(std::uint32_t event);  // "DBT_DEVICEARRIVAL"
std::string_view shell_event_name(std::uint32_t event);   // "SHCNE_DRIVEADD"
// The drive letters of a unit mask (bit 0 A:), "D: H:".
std::string drive_letters(std::uint32_t mask);

// The candidate closest to a misspelt name, when one is close enough to be meant; else empty.
std::string_view closest_name(std::string_view name, const std::vector<std::string_view> &known);
// "a, b, c".
std::string joined(const std::vector<std::string_view> &names);

}  // namespace scenario
