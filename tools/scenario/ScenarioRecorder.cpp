#include "scenario/ScenarioRecorder.h"

#include "scenario/CodeNames.h"
#include "scenario/TimelineText.h"

namespace scenario {
namespace {

constexpr std::uint32_t kPowerEvent = 13;

// A number the line's verb will read; nothing when it cannot (the verb then refuses the line).
std::optional<std::uint32_t> number(const std::string &word) {
  try {
    return parse_u32(word, "number");
  } catch (const LineError &) {
    return std::nullopt;
  }
}

bool ends_with(const std::string &text, const char *end) {
  std::string_view tail(end);
  return text.size() >= tail.size() &&
         text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// "SRaidInfoEx": the first of these bits that is set decides the RAID indicators.
std::string raid_note(std::uint32_t bits) {
  if (bits & 0x2)
    return "RAID 0x2: RAID alarm, RAID LEDs from RaidStatus and bits 0x20 and 0x200, system "
           "status error";
  if (bits & 0x8) return "RAID 0x8: RAID alarm, RAID LEDs blinking together, system status error";
  if (bits & 0x4) return "RAID 0x4: RAID LEDs blinking in turn, no alarm";
  if (bits & 0x100000)
    return "RAID 0x100000: RAID LEDs blinking together, system status error, no RAID alarm";
  if (bits & 0x1) return "RAID 0x1: normal, RAID LEDs dark, no RAID alarm";
  return "no RAID bit the service acts on: the RAID indicators stay as they are";
}

// What a value the scenario writes means to the health monitor.
std::string registry_note(const Line &line) {
  if (line.words.size() < 6 || line.words[1] != "set" || line.words[4] != "dword") return {};
  const std::string &key = line.words[2], &name = line.words[3];
  auto value = number(line.words[5]);
  if (!value) return {};
  if (name == "SRaidInfoEx" && ends_with(key, "\\RDSCANSV")) return raid_note(*value);
  if (name == "RaidStatus" && ends_with(key, "\\RDSCANSV"))
    return *value == 2 || *value == 4 || *value == 8 || *value == 16
               ? "with RAID bit 0x2: both RAID LEDs lit"
               : "with RAID bit 0x2: the RAID LEDs from bits 0x20 and 0x200";
  if (name == "BackupStatus" && ends_with(key, "\\BKSCANSV"))
    return *value == 2 ? "the backup failed" : "the backup is normal";
  if (name == "WarnDrive" && ends_with(key, "\\VOLSPACE")) {
    std::string drives = drive_letters(*value & 0xFFFFFF);
    return drives.empty() ? "no drive short of free space" : "short of free space: " + drives;
  }
  if (name == "LedSnoozeType") return std::string(snooze_type_name(*value));
  if (name == "LedSnoozeTime")
    return "a snooze of type 0 ends at " + std::to_string(*value) + ":00";
  if (name == "CheckInterval") {
    std::uint32_t seconds = *value == 0xFFFFFFFFu || *value < 60 ? 60 : *value;
    return "a cycle every " + std::to_string(seconds > 86400 ? 86400 : seconds) +
           " s from the service's next start";
  }
  return {};
}

// A reading the board gives from now on: "board fan 1850 [result <code>]".
void add_board_reading(const Line &line, winsim::Trace::Record &fields) {
  if (line.words.size() < 3) return;
  const std::string &what = line.words[1];
  bool fan = what == "fan";
  const char *reading = fan                 ? "CPU fan"
                        : what == "cputemp" ? "CPU temperature"
                        : what == "systemp" ? "system temperature"
                                            : nullptr;
  if (reading == nullptr) return;
  winsim::Trace::Record value;
  std::int32_t result = 0;
  try {
    value = fan ? winsim::Trace::Record(parse_i32(line.words[2], "fan speed"))
                : winsim::Trace::Record(parse_double(line.words[2], "temperature"));
    if (line.words.size() > 4 && line.words[3] == "result")
      result = parse_i32(line.words[4], "result code");
  } catch (const LineError &) {
    return;  // the verb refuses the line
  }
  fields["reading"] = reading;
  fields["value"] = std::move(value);
  fields["unit"] = fan ? "rpm" : "°C";
  if (result != 0) fields["result"] = result;
}

// A disk's temperature from now on: "disk <n> attribute 194 <current> <raw>" (raw byte 0).
void add_disk_reading(const Line &line, winsim::Trace::Record &fields) {
  if (line.words.size() < 6 || line.words[2] != "attribute" || line.words[3] != "194") return;
  auto drive = number(line.words[1]);
  std::uint64_t raw = 0;
  try {
    raw = parse_u64(line.words[5], "raw");
  } catch (const LineError &) {
    return;
  }
  if (!drive) return;
  fields["reading"] = "disk " + std::to_string(*drive) + " temperature";
  fields["value"] = raw & 0xFF;
  fields["unit"] = "°C";
}

}  // namespace

void ScenarioRecorder::record(winsim::World &world, const Line &line) {
  winsim::Trace::Record fields;
  fields["line"] = line.number;
  fields["text"] = line.text;
  const std::string &verb = line.words[0];
  std::string note;
  if (verb == "reg") {
    note = registry_note(line);
  } else if (verb == "event" && line.words.size() > 2 && line.words[2] == "NasCallEvent") {
    note = "the health monitor sounds the RAID alarm once";
  } else if (verb == "board") {
    add_board_reading(line, fields);
  } else if (verb == "disk") {
    add_disk_reading(line, fields);
  }
  if (!note.empty()) fields["note"] = note;
  if (verb == "sc" && line.words.size() > 3 && line.words[1] == "control")
    add_power(world, line, fields);
  world.trace().add(world.now(), 0, 0, "scenario", std::move(fields));
}

// "sc control <name> <control> [<eventType>]": the control's name when the line gives a number,
// and what a power event does to the machine.
void ScenarioRecorder::add_power(winsim::World &world, const Line &line,
                                 winsim::Trace::Record &fields) {
  std::optional<std::uint32_t> control = control_of_word(line.words[3]);
  bool numbers = !control;
  if (!control) control = number(line.words[3]);
  if (!control) return;
  std::string note = numbers ? std::string(control_name(*control)) : std::string();
  if (*control == kPowerEvent && line.words.size() > 4) {
    std::optional<std::uint32_t> type = power_event_of_word(line.words[4]);
    if (!type) {
      type = number(line.words[4]);
      if (type && !power_event_name(*type).empty())
        note += (note.empty() ? "" : " ") + std::string(power_event_name(*type));
    }
    std::string effect;
    if (type && is_suspend(*type)) {
      asleep_since_ = world.now();
      fields["power"] = "suspend";
      effect = "the machine goes to sleep";
    } else if (type && is_resume(*type)) {
      fields["power"] = "resume";
      effect = asleep_since_
                   ? "the machine wakes: asleep from " + TimelineText::clock_of(*asleep_since_) +
                         " to " + TimelineText::clock_of(world.now())
                   : "the machine wakes";
      asleep_since_.reset();
    }
    if (!effect.empty()) note += (note.empty() ? "" : ": ") + effect;
  }
  if (!note.empty()) fields["note"] = note;
}

void ScenarioRecorder::warn(winsim::World &world, const Line &line, const std::string &message) {
  winsim::Trace::Record fields;
  fields["line"] = line.number;
  fields["text"] = line.text;
  fields["warning"] = message;
  world.trace().add(world.now(), 0, 0, "scenario", std::move(fields));
}

}  // namespace scenario
