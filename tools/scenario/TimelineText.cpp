#include "scenario/TimelineText.h"

#include <cstdio>

#include "scenario/CodeNames.h"
#include "winsim/Trace.h"

namespace scenario {
namespace {

constexpr std::uint32_t kPowerEvent = 13;
constexpr std::uint32_t kDeviceChange = 0x0219;
constexpr std::uint32_t kReadAttributes = 0xD0;
constexpr std::uint32_t kReadThresholds = 0xD1;

bool ends_with(const std::string &text, std::string_view end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// Text on one line: line ends and other control characters written as escapes.
std::string one_line(const std::string &text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (static_cast<unsigned char>(c) < 0x20) {
          char escape[8];
          std::snprintf(escape, sizeof escape, "\\x%02X", static_cast<unsigned char>(c));
          out += escape;
        } else {
          out += c;
        }
    }
  }
  return out;
}

std::string base_name(const std::string &path) {
  std::size_t slash = path.find_last_of("\\/");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

TimelineText::TimelineText(std::int64_t local_start_s) : local_start_s_(local_start_s) {}

std::string TimelineText::clock_of(std::uint64_t ms) {
  char text[48];
  std::uint64_t s = ms / 1000;
  std::snprintf(
      text, sizeof text, "%llu:%02llu:%02llu.%03llu", static_cast<unsigned long long>(s / 3600),
      static_cast<unsigned long long>(s / 60 % 60), static_cast<unsigned long long>(s % 60),
      static_cast<unsigned long long>(ms % 1000));
  return text;
}

std::string TimelineText::elapsed(std::uint64_t ms) {
  std::string text = clock_of(ms);
  return text.size() < 13 ? std::string(13 - text.size(), ' ') + text : text;
}

std::string TimelineText::local(std::uint64_t ms) const {
  std::int64_t s = (local_start_s_ + static_cast<std::int64_t>(ms / 1000)) % 86400;
  if (s < 0) s += 86400;
  char text[16];
  std::snprintf(text, sizeof text, "%02lld:%02lld:%02lld", static_cast<long long>(s / 3600),
                static_cast<long long>(s / 60 % 60), static_cast<long long>(s % 60));
  return text;
}

std::string TimelineText::pin(std::uint32_t pin) {
  std::string_view led = led_name(pin);
  return std::to_string(pin) + (led.empty() ? "" : " (" + std::string(led) + ")");
}

std::string TimelineText::head(std::uint64_t t, std::uint32_t pid, std::uint32_t tid) const {
  char who[48];
  std::snprintf(who, sizeof who, "pid %-4u tid %-4u ", pid, tid);
  return elapsed(t) + "  " + local(t) + "  " + who;
}

std::string TimelineText::head(const Record &r) const {
  std::uint64_t t = r["t"].get<std::uint64_t>();
  if (r["kind"] == "scenario") {
    char who[48];
    std::snprintf(who, sizeof who, "line %-12u ", r.value("line", 0u));
    return elapsed(t) + "  " + local(t) + "  " + who;
  }
  return head(t, r["pid"].get<std::uint32_t>(), r["tid"].get<std::uint32_t>());
}

std::string TimelineText::line(const Record &r) {
  return head(r) + body(r) + "\n";
}

std::string TimelineText::body(const Record &r) {
  const std::string &kind = r["kind"].get_ref<const std::string &>();
  std::string out = kind;
  if (kind == "scenario") {
    // What the scenario did, in its own words.
    out += "  " + one_line(r.value("text", std::string()));
    if (r.contains("note")) out += "  (" + one_line(r["note"].get<std::string>()) + ")";
    if (r.contains("warning")) out += "  warning: " + one_line(r["warning"].get<std::string>());
    return out;
  }
  std::uint32_t pid = r["pid"].get<std::uint32_t>();
  if (kind == "process.start") images_[pid] = base_name(r.value("image", std::string()));
  for (const auto &[key, value] : r.items()) {
    if (key == "t" || key == "pid" || key == "tid" || key == "kind") continue;
    out += "  " + key + "=" + field(r, key, value);
  }
  if (kind == "process.exit") images_.erase(pid);
  return out;
}

std::string TimelineText::field(const Record &r, const std::string &key,
                                const Record &value) const {
  if (value.is_string()) return one_line(value.get<std::string>());
  if (r["kind"] == "event" && key == "id" && value.is_number_unsigned()) {
    // Event ids are read by their severity bits and message number: hexadecimal.
    char id[16];
    std::snprintf(id, sizeof id, "0x%08X", value.get<unsigned>());
    return id;
  }
  std::string text = winsim::Trace::dump(value);
  if (!value.is_number_integer() || value.get<std::int64_t>() < 0) return text;
  std::string name = name_of(r, key, value.get<std::uint64_t>());
  return name.empty() ? text : text + " (" + name + ")";
}

std::string TimelineText::name_of(const Record &r, const std::string &key,
                                  std::uint64_t value) const {
  if (value > 0xFFFFFFFFu) return {};
  auto code = static_cast<std::uint32_t>(value);
  const std::string &kind = r["kind"].get_ref<const std::string &>();
  if (key == "error" || key == "result" || key == "win32ExitCode")
    return code == 0 ? std::string() : std::string(error_name(code));
  if (kind == "gpio") {
    if (key == "pin") return std::string(led_name(code));
    if (key == "level") return std::string(gpio_level_name(code));
  } else if (kind == "svc.status") {
    if (key == "state") return std::string(service_state_name(code));
    if (key == "controls") return accepted_controls_names(code);
  } else if (kind == "svc.control") {
    if (key == "control") return std::string(control_name(code));
    if (key == "eventType" && r.value("control", 0u) == kPowerEvent)
      return std::string(power_event_name(code));
  } else if (kind == "event") {
    if (key == "type") return std::string(event_type_name(code));
  } else if (kind == "reg.set" && key == "data") {
    std::string name = r.value("name", std::string());
    if (name == "LedSnoozeType") return std::string(snooze_type_name(code));
    if (ends_with(name, "Status")) return status_code_name(code);
  } else if (kind == "process.exit" && key == "code") {
    auto image = images_.find(r["pid"].get<std::uint32_t>());
    if (image != images_.end() && image->second.rfind("QORASetup", 0) == 0)
      return std::string(installer_exit_name(code));
  } else if (kind == "smart.read" && key == "feature") {
    return code == kReadAttributes   ? "READ ATTRIBUTES"
           : code == kReadThresholds ? "READ THRESHOLDS"
                                     : "";
  } else if (kind == "window.message" || kind == "broadcast") {
    if (key == "msg") return std::string(window_message_name(code));
    if (key == "wParam" && r.value("msg", 0u) == kDeviceChange)
      return std::string(device_event_name(code));
    if (key == "unitmask") return drive_letters(code);
  } else if (kind == "shell.notify" && key == "event") {
    return std::string(shell_event_name(code));
  }
  return {};
}

const std::vector<std::string_view> &TimelineText::kinds() {
  static const std::vector<std::string_view> kinds = {
      "broadcast",    "dir.create",   "dir.delete",     "event",
      "fault",        "file.copy",    "file.delete",    "file.reboot_delete",
      "gpio",         "process.exit", "process.start",  "reg.create",
      "reg.delete",   "reg.set",      "scenario",       "shell.notify",
      "smart.read",   "sound",        "stdout",         "svc.control",
      "svc.create",   "svc.delete",   "svc.status",     "thread.exit",
      "thread.start", "window.close", "window.message",
  };
  return kinds;
}

}  // namespace scenario
