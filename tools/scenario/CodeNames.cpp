#include "scenario/CodeNames.h"

#include <algorithm>
#include <cstdio>

#include "installer/exit_codes.h"
#include "monitor/status_code.h"

namespace scenario {
namespace {

struct Named {
  std::uint32_t code;
  std::string_view name;
};

template <std::size_t N>
std::string_view name_in(const Named (&table)[N], std::uint32_t code) {
  for (const Named &entry : table)
    if (entry.code == code) return entry.name;
  return {};
}

// Read from winsim's errors.h at build time.
constexpr Named kErrors[] = {
#include "ErrorNames.inc"
};

// SERVICE_CONTROL_..., without the prefix; the scenario language's words are these in lower case.
constexpr Named kControls[] = {
    {1, "STOP"},          {2, "PAUSE"},
    {3, "CONTINUE"},      {4, "INTERROGATE"},
    {5, "SHUTDOWN"},      {6, "PARAMCHANGE"},
    {7, "NETBINDADD"},    {8, "NETBINDREMOVE"},
    {9, "NETBINDENABLE"}, {10, "NETBINDDISABLE"},
    {11, "DEVICEEVENT"},  {12, "HARDWAREPROFILECHANGE"},
    {13, "POWEREVENT"},   {14, "SESSIONCHANGE"},
    {15, "PRESHUTDOWN"},  {16, "TIMECHANGE"},
};

// SERVICE_ACCEPT_..., without the prefix.
constexpr Named kAccepted[] = {
    {0x1, "STOP"},         {0x2, "PAUSE_CONTINUE"}, {0x4, "SHUTDOWN"},
    {0x8, "PARAMCHANGE"},  {0x10, "NETBINDCHANGE"}, {0x20, "HARDWAREPROFILECHANGE"},
    {0x40, "POWEREVENT"},  {0x80, "SESSIONCHANGE"}, {0x100, "PRESHUTDOWN"},
    {0x200, "TIMECHANGE"},
};

// SERVICE_..., the states of a service's status.
constexpr Named kStates[] = {
    {1, "STOPPED"},          {2, "START_PENDING"}, {3, "STOP_PENDING"}, {4, "RUNNING"},
    {5, "CONTINUE_PENDING"}, {6, "PAUSE_PENDING"}, {7, "PAUSED"},
};

// Power broadcast codes, with the scenario language's word for each.
struct PowerEvent {
  std::uint32_t code;
  std::string_view name;
  std::string_view word;
};
constexpr PowerEvent kPowerEvents[] = {
    {0, "PBT_APMQUERYSUSPEND", "querysuspend"},
    {2, "PBT_APMQUERYSUSPENDFAILED", "querysuspendfailed"},
    {4, "PBT_APMSUSPEND", "suspend"},
    {6, "PBT_APMRESUMECRITICAL", "resumecritical"},
    {7, "PBT_APMRESUMESUSPEND", "resume"},
    {9, "PBT_APMBATTERYLOW", "batterylow"},
    {10, "PBT_APMPOWERSTATUSCHANGE", "powerstatuschange"},
    {11, "PBT_APMOEMEVENT", "oemevent"},
    {18, "PBT_APMRESUMEAUTOMATIC", "resumeautomatic"},
    {0x8013, "PBT_POWERSETTINGCHANGE", "powersettingchange"},
};

constexpr Named kLeds[] = {{10, "status LED"}, {32, "RAID LED A"}, {12, "RAID LED B"}};

constexpr Named kEventTypes[] = {
    {1, "error"}, {2, "warning"}, {4, "information"}, {8, "audit success"}, {16, "audit failure"}};

constexpr Named kComponents[] = {
    {quillet::kCpuTemp, "CPU temperature"},
    {quillet::kCpuFan, "CPU fan"},
    {quillet::kSystemTemp, "system temperature"},
    {quillet::kHddTemp, "HDD temperature"},
    {quillet::kHddSmart, "HDD SMART"},
    {quillet::kBackup, "backup"},
    {quillet::kFreeSpace, "free space"},
};

// The states each component can be in.
bool has_state(int component, int state) {
  switch (component) {
    case quillet::kCpuTemp:
    case quillet::kCpuFan:
    case quillet::kSystemTemp:
      return state >= quillet::kNormal && state <= quillet::kReadFailed;
    case quillet::kHddTemp:
      return state >= quillet::kNormal && state <= quillet::kError;
    case quillet::kHddSmart:
      return state >= quillet::kNormal && state <= quillet::kHardwareError;
    case quillet::kBackup:
      return state == quillet::kNormal || state == quillet::kError;
    case quillet::kFreeSpace:
      return state == quillet::kNormal || state == quillet::kWarning;
    default:
      return false;
  }
}

std::string_view state_name(int component, int state) {
  if (component == quillet::kHddSmart && state == quillet::kNotSupported) return "no device path";
  if (component == quillet::kHddSmart && state == quillet::kHardwareError)
    return "no device handle";
  switch (state) {
    case quillet::kNormal:
      return "normal";
    case quillet::kWarning:
      return "warning";
    case quillet::kError:
      return "error";
    case quillet::kNotSupported:
      return "reading not supported";
    case quillet::kHardwareError:
      return "hardware error";
    default:
      return "reading failed";
  }
}

constexpr Named kSnoozeTypes[] = {
    {0xFFFFFFFFu, "not snoozed"},
    {0, "alarms snoozed until the hour of LedSnoozeTime"},
    {1, "alarms snoozed until the system status is normal"},
};

constexpr Named kInstallerExits[] = {
    {kExitSuccess, "success"},
    {kExitNoSentrel, "the Sentrel engine is absent or disabled"},
    {kExitPredecessor, "the predecessor PLIX is installed"},
    {kExitSuiteRunning, "the running marker already existed"},
    {kExitUsage, "usage: too few arguments, or no mode"},
    {kExitStopFailed, "stopping or deleting the suite's service failed"},
    {kExitStartFailed, "starting the suite's service failed"},
    {kExitNoWindowsFolder, "reading the Windows folder's path failed"},
    {kExitNoBackslash, "a folder path had no backslash to cut at"},
    {kExitCopyFailed, "a copy failed"},
    {kExitNoTempFolder, "creating the temporary folder failed"},
    {kExitSuiteInstallFailed, "the suite service program's -install run failed"},
    {kExitVersionNotWritten, "writing the Version value failed"},
    {kExitVersionKeyNotOpened, "opening the suite's key for deleting failed"},
    {kExitFolderNotCreated, "creating the install folder failed"},
};

constexpr Named kWindowMessages[] = {{0x0010, "WM_CLOSE"}, {0x0219, "WM_DEVICECHANGE"}};
constexpr Named kDeviceEvents[] = {
    {0x8000, "DBT_DEVICEARRIVAL"},           {0x8001, "DBT_DEVICEQUERYREMOVE"},
    {0x8002, "DBT_DEVICEQUERYREMOVEFAILED"}, {0x8003, "DBT_DEVICEREMOVEPENDING"},
    {0x8004, "DBT_DEVICEREMOVECOMPLETE"},    {0x8005, "DBT_DEVICETYPESPECIFIC"},
};
constexpr Named kShellEvents[] = {{0x20, "SHCNE_MEDIAINSERTED"},
                                  {0x40, "SHCNE_MEDIAREMOVED"},
                                  {0x80, "SHCNE_DRIVEREMOVED"},
                                  {0x100, "SHCNE_DRIVEADD"}};

char lower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string lower(std::string_view text) {
  std::string out(text);
  for (char &c : out) c = lower(c);
  return out;
}

// Levenshtein distance, letters compared without case.
std::size_t edit_distance(std::string_view a, std::string_view b) {
  std::vector<std::size_t> row(b.size() + 1);
  for (std::size_t j = 0; j <= b.size(); ++j) row[j] = j;
  for (std::size_t i = 1; i <= a.size(); ++i) {
    std::size_t diagonal = row[0];
    row[0] = i;
    for (std::size_t j = 1; j <= b.size(); ++j) {
      std::size_t above = row[j];
      bool same = lower(a[i - 1]) == lower(b[j - 1]);
      row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (same ? 0 : 1)});
      diagonal = above;
    }
  }
  return row[b.size()];
}

}  // namespace

const std::vector<std::string_view> &emulated_calls() {
  static const std::vector<std::string_view> calls = [] {
    std::vector<std::string_view> names = {
#include "EmulatedCalls.inc"
    };
    std::sort(names.begin(), names.end());
    return names;
  }();
  return calls;
}

bool is_emulated_call(std::string_view name) {
  const auto &calls = emulated_calls();
  return std::binary_search(calls.begin(), calls.end(), name);
}

std::string_view error_name(std::uint32_t code) {
  return name_in(kErrors, code);
}

std::string_view service_state_name(std::uint32_t state) {
  return name_in(kStates, state);
}

std::string_view control_name(std::uint32_t control) {
  return name_in(kControls, control);
}

std::string_view power_event_name(std::uint32_t type) {
  for (const PowerEvent &event : kPowerEvents)
    if (event.code == type) return event.name;
  return {};
}

std::string accepted_controls_names(std::uint32_t mask) {
  std::string out;
  for (const Named &bit : kAccepted) {
    if ((mask & bit.code) == 0) continue;
    if (!out.empty()) out += '|';
    out += bit.name;
    mask &= ~bit.code;
  }
  if (mask != 0) {
    char rest[16];
    std::snprintf(rest, sizeof rest, "0x%X", mask);
    out += (out.empty() ? "" : "|") + std::string(rest);
  }
  return out;
}

std::optional<std::uint32_t> control_of_word(std::string_view word) {
  for (const Named &control : kControls)
    if (lower(control.name) == word) return control.code;
  return std::nullopt;
}

std::optional<std::uint32_t> power_event_of_word(std::string_view word) {
  for (const PowerEvent &event : kPowerEvents)
    if (event.word == word) return event.code;
  return std::nullopt;
}

const std::vector<std::string_view> &control_words() {
  static const std::vector<std::string> words = [] {
    std::vector<std::string> out;
    for (const Named &control : kControls) out.push_back(lower(control.name));
    return out;
  }();
  static const std::vector<std::string_view> views(words.begin(), words.end());
  return views;
}

const std::vector<std::string_view> &power_event_words() {
  static const std::vector<std::string_view> words = [] {
    std::vector<std::string_view> out;
    for (const PowerEvent &event : kPowerEvents) out.push_back(event.word);
    return out;
  }();
  return words;
}

bool is_suspend(std::uint32_t type) {
  return type == 4;
}

bool is_resume(std::uint32_t type) {
  return type == 6 || type == 7 || type == 18;
}

std::string_view led_name(std::uint32_t pin) {
  return name_in(kLeds, pin);
}

std::string_view gpio_level_name(std::uint32_t level) {
  return level == 0 ? "lit" : level == 1 ? "dark" : "";
}

std::string_view event_type_name(std::uint32_t type) {
  return name_in(kEventTypes, type);
}

bool is_status_code(std::uint32_t code) {
  if (code == quillet::kSystemNormal || code == quillet::kSystemWarning ||
      code == quillet::kSystemError)
    return true;
  int component = static_cast<int>(code / 1000), state = static_cast<int>(code % 1000);
  return code < 100000 && state % 100 == 0 && has_state(component, state);
}

std::string status_code_name(std::uint32_t code) {
  if (!is_status_code(code)) return {};
  if (code < 1000) return "system " + std::string(state_name(0, static_cast<int>(code)));
  int component = static_cast<int>(code / 1000), state = static_cast<int>(code % 1000);
  return std::string(name_in(kComponents, static_cast<std::uint32_t>(component))) + " " +
         std::string(state_name(component, state));
}

std::string_view snooze_type_name(std::uint32_t type) {
  std::string_view name = name_in(kSnoozeTypes, type);
  return name.empty() ? "not snoozed (an unknown type counts as none)" : name;
}

std::string_view installer_exit_name(std::uint32_t code) {
  return name_in(kInstallerExits, code);
}

std::string_view window_message_name(std::uint32_t msg) {
  return name_in(kWindowMessages, msg);
}

std::string_view device_event_name(std::uint32_t event) {
  return name_in(kDeviceEvents, event);
}

std::string_view shell_event_name(std::uint32_t event) {
  return name_in(kShellEvents, event);
}

std::string drive_letters(std::uint32_t mask) {
  std::string out;
  for (int bit = 0; bit < 26; ++bit) {
    if ((mask & (1u << bit)) == 0) continue;
    if (!out.empty()) out += ' ';
    out += static_cast<char>('A' + bit);
    out += ':';
  }
  return out;
}

std::string_view closest_name(std::string_view name, const std::vector<std::string_view> &known) {
  std::string_view best;
  std::size_t best_distance = name.size() / 3 + 1;
  for (std::string_view candidate : known) {
    std::size_t distance = edit_distance(name, candidate);
    if (distance < best_distance) {
      best = candidate;
      best_distance = distance;
    }
  }
  return best;
}

std::string joined(const std::vector<std::string_view> &names) {
  std::string out;
  for (std::string_view name : names) out += (out.empty() ? "" : ", ") + std::string(name);
  return out;
}

}  // namespace scenario
