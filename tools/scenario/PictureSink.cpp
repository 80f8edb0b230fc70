#include "scenario/PictureSink.h"

#include <algorithm>
#include <cstdio>

#include "scenario/CodeNames.h"
#include "winsim/Trace.h"

namespace scenario {
namespace {

// A level that changes again within this long is part of a blink.
constexpr std::uint64_t kBlinkMs = 1000;
// Tones of one thread closer together than this are one alarm.
constexpr std::uint64_t kAlarmGapMs = 1500;
// Texts a merged mark keeps: every event and file tells something of its own; a process or a
// sound mostly repeats the one before.
constexpr std::size_t kManyTexts = 5;
constexpr std::size_t kFewTexts = 1;

constexpr double kTop = 64;  // the first lane's top edge
constexpr double kLaneGap = 6;
constexpr double kRightMargin = 24;

// Sections, top to bottom.
enum Section {
  kScenario,
  kLeds,
  kAlarms,
  kStatusValues,
  kEventLog,
  kServices,
  kProcesses,
  kOthers
};

const char *const kLit = "#ffb300";
const char *const kDark = "#37474f";
const char *const kNormal = "#43a047";
const char *const kWarning = "#fb8c00";
const char *const kError = "#e53935";
const char *const kFailed = "#8e8e8e";
const char *const kInformation = "#1e88e5";
const char *const kSound = "#8e24aa";
const char *const kProcess = "#607d8b";
const char *const kAsleep = "#3949ab";
const char *const kReadings[] = {"#cfd8dc", "#b0bec5"};
const char *const kGrid = "#e0e0e0";

// Ranks of marks: the colour they are drawn in.
constexpr int kRankNothing = 0;  // grey: nothing there (a delete of a file that was not there)
constexpr int kRankDone = 1;     // blue
constexpr int kRankWarning = 2;  // orange
constexpr int kRankFailed = 3;   // red

// A service state drawn with this added ended with a nonzero exit code.
constexpr int kServiceFailed = 100;

// Letters of the small font are about this wide: labels are drawn only where they fit.
constexpr double kSmallLetter = 5.6;

// Every lane is as tall as its label and the small text drawn in it.
double height_of(PictureSink::Look look) {
  return look == PictureSink::Look::Led ? 18 : 14;
}

std::string number(double v) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f", v);
  return text;
}

std::string clock_text(std::uint64_t ms) {
  return TimelineText::clock_of(ms);
}

std::string tick_text(std::uint64_t ms) {
  std::uint64_t s = ms / 1000, d = s / 86400, h = s / 3600 % 24, m = s / 60 % 60;
  s %= 60;
  std::string out;
  auto part = [&out](std::uint64_t n, const char *unit) {
    if (n == 0) return;
    if (!out.empty()) out += ' ';
    out += std::to_string(n) + unit;
  };
  part(d, "d");
  part(h, "h");
  part(m, "m");
  part(s, "s");
  return out.empty() ? "0" : out;
}

// Text for XML: markup characters escaped, characters XML forbids and broken UTF-8 replaced.
std::string xml_text(const std::string &in) {
  std::string out;
  for (std::size_t i = 0; i < in.size();) {
    unsigned char c = static_cast<unsigned char>(in[i]);
    std::size_t n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
    bool whole = n != 0 && i + n <= in.size();
    for (std::size_t k = 1; whole && k < n; ++k)
      whole = (static_cast<unsigned char>(in[i + k]) & 0xC0) == 0x80;
    if (!whole) {
      out += "\xEF\xBF\xBD";
      ++i;
      continue;
    }
    if (n == 1) {
      switch (c) {
        case '&':
          out += "&amp;";
          break;
        case '<':
          out += "&lt;";
          break;
        case '>':
          out += "&gt;";
          break;
        case '"':
          out += "&quot;";
          break;
        default:
          out += (c < 0x20 && c != '\n' && c != '\t') ? '?' : static_cast<char>(c);
      }
    } else {
      out.append(in, i, n);
    }
    i += n;
  }
  return out;
}

// The front panel's LEDs by their GPIO pins.
std::string led_label(int pin) {
  std::string_view name = led_name(static_cast<std::uint32_t>(pin));
  return name.empty() ? "GPIO pin " + std::to_string(pin) : std::string(name);
}

// The appliance's own lanes come first in their sections, in the order of the front panel.
int known_rank(const std::string &label) {
  static const char *const known[] = {"status LED", "RAID LED A",   "RAID LED B",
                                      "RAID alarm", "system alarm", "SystemStatus"};
  for (int i = 0; i < static_cast<int>(std::size(known)); ++i)
    if (label == known[i]) return i;
  return static_cast<int>(std::size(known));
}

std::string base_name(const std::string &path) {
  std::size_t slash = path.find_last_of("\\/");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Status codes: the last three digits are the level.
int status_rank(int code) {
  switch (code % 1000 / 100) {
    case 1:
      return 0;
    case 2:
      return 2;
    case 3:
      return 3;
    default:
      return 1;
  }
}
const char *status_colour(int code) {
  const char *const colours[] = {kNormal, kFailed, kWarning, kError};
  return colours[status_rank(code)];
}

const char *service_colour(int state) {
  if (state > kServiceFailed) return kError;
  switch (state) {
    case 2:
      return "#90caf9";  // start pending
    case 3:
      return "#ffcc80";  // stop pending
    case 4:
      return "#1565c0";  // running
    case 1:
      return "#eceff1";  // stopped
    default:
      return "#b0bec5";  // paused, or on the way there or back
  }
}
const char *rank_colour(int rank) {
  const char *const colours[] = {kFailed, kInformation, kWarning, kError};
  return colours[std::clamp(rank, 0, 3)];
}

// Event types: 1 error, 2 warning, 4 information, 8 and 16 audits.
int event_rank(unsigned type) {
  return type == 1 ? kRankFailed : type == 2 ? kRankWarning : type == 4 ? kRankDone : kRankNothing;
}

// How an operation on a file, a folder or a service came out: done, nothing there to delete, or
// failed.
int outcome_rank(const winsim::TraceSink::Record &r) {
  const std::string &kind = r["kind"].get_ref<const std::string &>();
  std::uint32_t error = r.value(kind == "svc.control" ? "result" : "error", 0u);
  if (error == 0) return kRankDone;
  bool deletion = kind == "file.delete" || kind == "dir.delete";
  bool not_there = error == 2 || error == 3;  // ERROR_FILE_NOT_FOUND, ERROR_PATH_NOT_FOUND
  return deletion && not_there ? kRankNothing : kRankFailed;
}

// Kinds drawn as marks in a lane of their own.
const char *other_lane(const std::string &kind) {
  static const std::map<std::string, const char *> lanes = {
      {"shell.notify", "shell notifications"},
      {"broadcast", "broadcasts"},
      {"window.message", "window messages"},
      {"window.close", "window messages"},
      {"file.copy", "files copied"},
      {"file.delete", "files deleted"},
      {"file.reboot_delete", "deleted at restart"},
      {"dir.create", "folders"},
      {"dir.delete", "folders"},
      {"svc.create", "service manager"},
      {"svc.delete", "service manager"},
      {"svc.control", "service manager"},
      {"stdout", "console output"},
      {"fault", "faults injected"},
  };
  auto it = lanes.find(kind);
  return it == lanes.end() ? nullptr : it->second;
}

}  // namespace

PictureSink::PictureSink(std::string title, std::uint64_t span) : title_(std::move(title)) {
  scale_.span = std::max<std::uint64_t>(span, 1);
}

PictureSink::Lane &PictureSink::lane(const std::string &label, Look look, int section) {
  auto [it, added] = index_.emplace(label, lanes_.size());
  if (added) lanes_.push_back({label, look, section, lanes_.size(), {}, {}, {}, {}});
  return lanes_[it->second];
}

void PictureSink::take(const Record &r) {
  const std::string &kind = r["kind"].get_ref<const std::string &>();
  std::uint64_t t = r["t"].get<std::uint64_t>();
  close_soundings(t, false);
  if (kind == "gpio") {
    gpio(r, t);
  } else if (kind == "sound") {
    sound(r, t);
  } else if (kind == "reg.set" || kind == "reg.delete" || kind == "reg.create") {
    registry(r, t);
  } else if (kind == "event") {
    event(r, t);
  } else if (kind == "scenario") {
    scenario(r, t);
  } else if (kind == "svc.status") {
    int state = r.value("state", 0);
    int shown = state + (r.value("win32ExitCode", 0u) != 0 ? kServiceFailed : 0);
    lane("service " + r.value("service", std::string()), Look::Service, kServices)
        .steps.set(scale_, t, shown, shown);
  } else if (kind == "process.start") {
    text_.body(r);  // the timeline text learns the process's program
    running_[r["pid"].get<std::uint32_t>()] = {t, base_name(r.value("image", std::string())),
                                               r.value("cmdline", std::string())};
  } else if (kind == "process.exit") {
    process_exit(r["pid"].get<std::uint32_t>(), t, r.value("code", 0u), true);
    text_.body(r);
  } else if (const char *label = other_lane(kind)) {
    mark(label, r, t, kind == "fault" ? kRankFailed : outcome_rank(r));
  }
}

// ---- The scenario --------------------------------------------------------------------------

void PictureSink::scenario(const Record &r, std::uint64_t t) {
  mark("scenario", r, t, r.contains("warning") ? kRankFailed : kRankDone);
  if (r.contains("reading")) reading(r, t);
  std::string power = r.value("power", std::string());
  if (power == "suspend" && !asleep_since_) asleep_since_ = t;
  if (power == "resume" && asleep_since_) {
    asleep(*asleep_since_, t);
    asleep_since_.reset();
  }
}

void PictureSink::asleep(std::uint64_t from, std::uint64_t to) {
  lane("machine", Look::Power, kScenario)
      .marks.add(scale_, from, to, kRankDone,
                 "asleep from " + clock_text(from) + " to " + clock_text(to), kManyTexts, "asleep");
}

// A reading the scenario feeds a component, drawn above the component's status.
void PictureSink::reading(const Record &r, std::uint64_t t) {
  std::string name = r["reading"].get<std::string>();
  std::string unit = r.value("unit", std::string());
  std::string beside = name == "CPU fan"              ? "CpuFanStatus"
                       : name == "CPU temperature"    ? "CpuTempStatus"
                       : name == "system temperature" ? "SystemTempStatus"
                                                      : std::string();
  if (name.rfind("disk ", 0) == 0)
    beside = "HDD" + name.substr(5, name.find(' ', 5) - 5) + " temperature";
  Lane &l = lane(name + " (" + unit + ")", Look::Reading, kStatusValues);
  l.beside = beside;
  std::string value = r.contains("value") ? winsim::Trace::dump(r["value"]) : "?";
  std::int32_t result = r.value("result", 0);
  std::string text = result == 0 ? value : "fails (" + std::to_string(result) + ")";
  auto known = std::find(l.texts.begin(), l.texts.end(), text);
  int index = static_cast<int>(known - l.texts.begin());
  if (known == l.texts.end()) l.texts.push_back(text);
  l.steps.set(scale_, t, index, result == 0 ? 0 : 1);
}

// ---- LEDs ------------------------------------------------------------------------------------

// GPIO levels: 0 lit, 1 dark. Drawn values: 0 dark, 1 lit, 2 blinking.
void PictureSink::gpio(const Record &r, std::uint64_t t) {
  int pin = r.value("pin", -1), level = r.value("level", 1);
  Lane &l = lane(led_label(pin), Look::Led, kLeds);
  Led &led = leds_[pin];
  if (level == led.level) return;
  int value = level == 0 ? 1 : 0;
  if (led.level == -1) {
    led = {level, t, false, {}};
    l.steps.set(scale_, t, value, value);
    return;
  }
  std::uint64_t held = t - led.since;
  if (led.blinking) {
    if (held > kBlinkMs) {
      // The blinking stopped at the last change; the level then held until now.
      commit_led(l, led.since, led.level == 0 ? 1 : 0);
      led.blinking = false;
      led.unsure = {{t, value}};
    }
  } else if (held > kBlinkMs) {
    for (auto [when, v] : led.unsure) commit_led(l, when, v);
    led.unsure = {{t, value}};
  } else if (led.unsure.size() >= 2) {
    // Two short stretches in a row: a blink, since the first of them.
    commit_led(l, led.unsure.front().first, 2);
    led.unsure.clear();
    led.blinking = true;
  } else {
    led.unsure.push_back({t, value});
  }
  led.level = level;
  led.since = t;
}

void PictureSink::commit_led(Lane &l, std::uint64_t t, int value) {
  l.steps.set(scale_, t, value, value);
}

void PictureSink::close_led(Lane &l, Led &led, std::uint64_t end) {
  if (led.blinking && end - led.since > kBlinkMs) commit_led(l, led.since, led.level == 0 ? 1 : 0);
  if (!led.blinking)
    for (auto [when, v] : led.unsure) commit_led(l, when, v);
}

// ---- Alarms ----------------------------------------------------------------------------------

void PictureSink::sound(const Record &r, std::uint64_t t) {
  std::uint32_t tid = r["tid"].get<std::uint32_t>();
  std::uint64_t length = r.value("duration", 0u);
  auto [it, added] = soundings_.emplace(tid, Sounding{t, t + length, false, {}});
  Sounding &s = it->second;
  s.to = std::max(s.to, t + length);
  if (r.value("freq", 0u) == 1567) s.low_tone = true;
  if (r.contains("file")) {
    std::string file = base_name(r["file"].get<std::string>());
    s.file = file == "raiderr.wav" ? "RAID alarm" : file == "syserr.wav" ? "system alarm" : file;
  }
}

// Alarms whose last tone ended long enough ago (all of them when `all`) become bars.
void PictureSink::close_soundings(std::uint64_t t, bool all) {
  std::vector<Sounding> ended;
  for (auto it = soundings_.begin(); it != soundings_.end();) {
    if (all || it->second.to + kAlarmGapMs < t) {
      ended.push_back(it->second);
      it = soundings_.erase(it);
    } else {
      ++it;
    }
  }
  std::sort(ended.begin(), ended.end(),
            [](const Sounding &a, const Sounding &b) { return a.from < b.from; });
  for (const Sounding &s : ended) {
    std::string name = !s.file.empty() ? s.file : s.low_tone ? "RAID alarm" : "system alarm";
    char length[32];
    std::snprintf(length, sizeof length, "%.1f s", static_cast<double>(s.to - s.from) / 1000);
    lane(name, Look::Sound, kAlarms)
        .marks.add(scale_, s.from, s.to, 1, clock_text(s.from) + "  " + name + ", " + length,
                   kFewTexts);
  }
}

// ---- Registry --------------------------------------------------------------------------------

// "...Status" values holding status codes are drawn as bands; other values that change are
// marks in the registry lane.
void PictureSink::registry(const Record &r, std::uint64_t t) {
  std::string name = r.value("name", std::string());
  std::string subject = r.value("key", std::string()) + "\\" + name;
  std::string state = r["kind"] == "reg.set" ? winsim::Trace::dump(r.value("data", Record()))
                                             : r["kind"].get<std::string>();
  auto [it, added] = registry_.emplace(subject, state);
  if (!added && it->second == state) return;
  it->second = state;
  const Record &data = r.value("data", Record());
  if (r["kind"] == "reg.set" && r.value("type", std::string()) == "REG_DWORD" && name.size() > 6 &&
      name.compare(name.size() - 6, 6, "Status") == 0 && data.is_number_unsigned() &&
      data.get<std::uint64_t>() <= 0xFFFFFFFFu &&
      is_status_code(static_cast<std::uint32_t>(data.get<std::uint64_t>()))) {
    int code = data.get<int>();
    lane(name, Look::Status, kStatusValues).steps.set(scale_, t, code, status_rank(code));
    return;
  }
  mark("registry changes", r, t, kRankDone);
}

// ---- Event log, processes, marks -------------------------------------------------------------

void PictureSink::event(const Record &r, std::uint64_t t) {
  unsigned type = r.value("type", 0u);
  char id[16];
  std::snprintf(id, sizeof id, "0x%08X", r.value("id", 0u));
  std::string_view type_name = event_type_name(type);
  std::string text = clock_text(t) + "  type " + std::to_string(type) +
                     (type_name.empty() ? "" : " (" + std::string(type_name) + ")") + "  id " + id +
                     "  " + r.value("source", std::string());
  for (const auto &s : r.value("strings", Record::array()))
    if (s.is_string()) text += "\n" + s.get<std::string>();
  lane("event log", Look::Event, kEventLog)
      .marks.add(scale_, t, t, event_rank(type), text, kManyTexts);
  disk_status(r, t);
}

// The disks' states are published in no status value: their messages say them. The low word
// of a message's id is the code the disk's state moved to, and the text names the bay
// ("HDD0...").
void PictureSink::disk_status(const Record &r, std::uint64_t t) {
  int code = static_cast<int>(r.value("id", 0u) & 0xFFFF);
  const Record &strings = r.value("strings", Record::array());
  if (code < 21000 || code >= 23000 || strings.empty() || !strings[0].is_string()) return;
  const std::string &text = strings[0].get_ref<const std::string &>();
  std::size_t hdd = text.find("HDD", 3);
  if (hdd == std::string::npos || hdd + 3 >= text.size() || text[hdd + 3] < '0' ||
      text[hdd + 3] > '9')
    return;
  std::string label = "HDD" + text.substr(hdd + 3, 1) + (code < 22000 ? " temperature" : " SMART");
  lane(label, Look::Status, kStatusValues).steps.set(scale_, t, code, status_rank(code));
}

// A process's bar, from its start to its exit (or to the end of the run, when it did not end).
void PictureSink::process_exit(std::uint32_t pid, std::uint64_t t, std::uint32_t code, bool ended) {
  auto it = running_.find(pid);
  if (it == running_.end()) return;
  const Running &p = it->second;
  std::string outcome = ended ? "exit code " + std::to_string(code) : "still running";
  std::string_view meaning = p.image.rfind("QORASetup", 0) == 0 ? installer_exit_name(code) : "";
  lane(p.image, Look::Process, kProcesses)
      .marks.add(scale_, p.from, t, ended && code != 0 ? kRankFailed : kRankDone,
                 clock_text(p.from) + "  " + p.cmdline + "  (pid " + std::to_string(pid) + ")\n" +
                     clock_text(t) + "  " + outcome +
                     (meaning.empty() ? "" : " (" + std::string(meaning) + ")"),
                 kFewTexts, outcome);
  running_.erase(it);
}

// A moment in a lane of marks, with the record as the timeline shows it on hover.
void PictureSink::mark(const std::string &label, const Record &r, std::uint64_t t, int rank) {
  lane(label, Look::Mark, label == "scenario" ? kScenario : kOthers)
      .marks.add(scale_, t, t, rank,
                 clock_text(t) + "  " +
                     (label == "scenario" ? "line " + std::to_string(r.value("line", 0)) + "  "
                                          : std::string()) +
                     text_.body(r),
                 kManyTexts);
}

// ---- Drawing ---------------------------------------------------------------------------------

namespace {

struct Swatch {
  const char *fill;
  const char *meaning;
};
struct LegendRow {
  PictureSink::Look look;
  const char *what;
  std::vector<Swatch> swatches;
};

// What the colours of each kind of lane mean.
const std::vector<LegendRow> &legend_rows() {
  static const std::vector<LegendRow> rows = {
      {PictureSink::Look::Mark,
       "scenario lines, operations",
       {{kInformation, "done"}, {kFailed, "nothing there"}, {kError, "failed, or a warning"}}},
      {PictureSink::Look::Power, "machine", {{kAsleep, "asleep"}}},
      {PictureSink::Look::Led,
       "LEDs",
       {{kLit, "lit"}, {"url(#blink)", "blinking"}, {kDark, "dark"}}},
      {PictureSink::Look::Sound, "alarms", {{kSound, "sounding"}}},
      {PictureSink::Look::Status,
       "status values",
       {{kNormal, "normal"},
        {kWarning, "warning"},
        {kError, "error"},
        {kFailed, "failed reading"}}},
      {PictureSink::Look::Reading, "readings", {{kReadings[0], "the value written in the band"}}},
      {PictureSink::Look::Event,
       "event log",
       {{kInformation, "information"}, {kWarning, "warning"}, {kError, "error"}}},
      {PictureSink::Look::Service,
       "services",
       {{service_colour(2), "START_PENDING"},
        {service_colour(4), "RUNNING"},
        {service_colour(3), "STOP_PENDING"},
        {service_colour(1), "STOPPED"},
        {service_colour(7), "paused"},
        {kError, "nonzero exit code"}}},
      {PictureSink::Look::Process,
       "processes",
       {{kProcess, "running, or exit code 0"}, {kError, "nonzero exit code"}}},
  };
  return rows;
}

constexpr double kLegendRow = 18;

}  // namespace

// One row per kind of lane drawn: its colours and what they mean.
std::string PictureSink::legend(const std::vector<const Lane *> &lanes, double top) {
  std::string out;
  double y = top;
  for (const LegendRow &row : legend_rows()) {
    if (!has_look(lanes, row.look)) continue;
    out += "<text x=\"" + number(PictureScale::kPlotLeft - 8) + "\" y=\"" + number(y + 10) +
           "\" text-anchor=\"end\" class=\"small\">" + row.what + "</text>\n";
    double x = PictureScale::kPlotLeft;
    for (const Swatch &swatch : row.swatches) {
      out += "<rect x=\"" + number(x) + "\" y=\"" + number(y) +
             "\" width=\"12\" height=\"12\" fill=\"" + swatch.fill + "\"/>\n";
      out += "<text x=\"" + number(x + 16) + "\" y=\"" + number(y + 10) + "\" class=\"small\">" +
             swatch.meaning + "</text>\n";
      x += 16 + static_cast<double>(std::string_view(swatch.meaning).size()) * kSmallLetter + 14;
    }
    y += kLegendRow;
  }
  return out;
}

double PictureSink::legend_height(const std::vector<const Lane *> &lanes) {
  double rows = 0;
  for (const LegendRow &row : legend_rows()) rows += has_look(lanes, row.look) ? 1 : 0;
  return rows * kLegendRow;
}

bool PictureSink::has_look(const std::vector<const Lane *> &lanes, Look look) {
  for (const Lane *l : lanes)
    if (l->look == look) return true;
  return false;
}

// Lanes top to bottom: by section, the appliance's own lanes first in the order of its front
// panel, then in the order they appeared; a lane drawn beside another right above it.
std::vector<const PictureSink::Lane *> PictureSink::lanes_in_order() const {
  std::vector<const Lane *> out;
  for (const Lane &l : lanes_)
    if (!l.steps.empty() || !l.marks.empty()) out.push_back(&l);
  auto anchor = [this](const Lane *l) {
    if (l->beside.empty()) return l;
    auto partner = index_.find(l->beside);
    if (partner == index_.end()) return l;
    const Lane &p = lanes_[partner->second];
    return p.steps.empty() && p.marks.empty() ? l : &p;
  };
  std::stable_sort(out.begin(), out.end(), [&](const Lane *a, const Lane *b) {
    const Lane *x = anchor(a), *y = anchor(b);
    if (x->section != y->section) return x->section < y->section;
    if (known_rank(x->label) != known_rank(y->label))
      return known_rank(x->label) < known_rank(y->label);
    if (x->order != y->order) return x->order < y->order;
    return (x != a) > (y != b);  // the lane beside its partner comes first
  });
  return out;
}

std::optional<PictureSink::Place> PictureSink::place_of(const std::string &label) const {
  PictureSink copy = *this;
  copy.close_soundings(~std::uint64_t{0}, true);
  double top = kTop;
  for (const Lane *l : copy.lanes_in_order()) {
    double h = height_of(l->look);
    if (l->label == label) return Place{top, h};
    top += h + kLaneGap;
  }
  return std::nullopt;
}

namespace {

void rect(std::string &out, double x0, double x1, double y, double h, const char *fill,
          const std::string &title) {
  out += "<rect x=\"" + number(x0) + "\" y=\"" + number(y) + "\" width=\"" +
         number(std::max(x1 - x0, 1.0)) + "\" height=\"" + number(h) + "\" fill=\"" + fill + "\">";
  if (!title.empty()) out += "<title>" + xml_text(title) + "</title>";
  out += "</rect>\n";
}

// Small text whose left end is at x, inside the lane: drawn only when it ends before `limit`.
void label(std::string &out, double x, double limit, double top, double height,
           const std::string &text, const char *fill = nullptr) {
  if (x + static_cast<double>(text.size()) * kSmallLetter > limit) return;
  out += "<text x=\"" + number(x) + "\" y=\"" + number(top + height - 3) + "\" class=\"small\"" +
         (fill ? std::string(" style=\"fill:") + fill + "\"" : std::string()) + ">" +
         xml_text(text) + "</text>\n";
}

}  // namespace

void PictureSink::draw_lane(std::string &out, const Lane &l, double top, double height,
                            std::uint64_t end) const {
  out += "<g><text x=\"" + number(PictureScale::kPlotLeft - 8) + "\" y=\"" +
         number(top + height / 2 + 4) + "\" text-anchor=\"end\">" + xml_text(l.label) + "</text>\n";
  if (!l.steps.empty()) draw_steps(out, l, top, height, end);
  draw_marks(out, l, top, height);
  out += "</g>\n";
}

// The GPIO pin of an LED's lane: " (pin 10)".
std::string PictureSink::pin_of(const Lane &l) const {
  for (const auto &[pin, led] : leds_)
    if (led_label(pin) == l.label) return " (pin " + std::to_string(pin) + ")";
  return {};
}

void PictureSink::draw_steps(std::string &out, const Lane &l, double top, double height,
                             std::uint64_t end) const {
  auto steps = l.steps.steps(scale_);
  for (std::size_t i = 0; i < steps.size(); ++i) {
    std::uint64_t from = steps[i].t, to = i + 1 < steps.size() ? steps[i + 1].t : end;
    if (to <= from && i + 1 < steps.size()) continue;
    int v = steps[i].value;
    double x0 = scale_.x(from), x1 = scale_.x(to);
    std::string when = clock_text(from) + " to " + clock_text(to) + "  ";
    switch (l.look) {
      case Look::Led:
        rect(out, x0, x1, top, height,
             v == 2   ? "url(#blink)"
             : v == 1 ? kLit
                      : kDark,
             when + l.label + pin_of(l) +
                 (v == 2   ? " blinking"
                  : v == 1 ? " lit (level 0)"
                           : " dark (level 1)"));
        break;
      case Look::Status: {
        std::string name = status_code_name(static_cast<std::uint32_t>(v));
        rect(out, x0, x1, top, height, status_colour(v),
             when + l.label + " = " + std::to_string(v) + (name.empty() ? "" : " (" + name + ")"));
        break;
      }
      case Look::Reading: {
        const std::string &value = l.texts[static_cast<std::size_t>(v)];
        rect(out, x0, x1, top, height, steps[i].rank > 0 ? kFailed : kReadings[i % 2],
             when + l.label + " " + value);
        label(out, x0 + 3, x1 - 2, top, height, value);
        break;
      }
      default: {
        int state = v > kServiceFailed ? v - kServiceFailed : v;
        std::string_view name = service_state_name(static_cast<std::uint32_t>(state));
        rect(out, x0, x1, top, height, service_colour(v),
             when + "state " + std::to_string(state) +
                 (name.empty() ? "" : " (" + std::string(name) + ")") +
                 (v > kServiceFailed ? ", with a nonzero exit code" : ""));
      }
    }
  }
}

void PictureSink::draw_marks(std::string &out, const Lane &l, double top, double height) const {
  const auto &marks = l.marks.marks();
  for (std::size_t i = 0; i < marks.size(); ++i) {
    const PictureMarks::Mark &m = marks[i];
    std::string title = m.title;
    if (m.count > m.texts) title += "\n... and " + std::to_string(m.count - m.texts) + " more";
    double x0 = scale_.x(m.from), x1 = std::max(scale_.x(m.to), x0 + 1);
    // A label ends before the next mark of its lane and inside the plot.
    double limit = i + 1 < marks.size() ? scale_.x(marks[i + 1].from) - 2
                                        : PictureScale::kPlotLeft + PictureScale::kPlotWidth;
    switch (l.look) {
      case Look::Event:
      case Look::Mark:
        rect(out, x0 - 1.5, x0 + 1.5, top, height, rank_colour(m.rank), title);
        break;
      case Look::Sound:
        rect(out, x0, x1, top + 2, height - 4, kSound, title);
        break;
      case Look::Power:
        rect(out, x0, x1, top, height, kAsleep, title);
        label(out, x0 + 3, x1 - 2, top, height, m.label, "#ffffff");
        break;
      default:
        rect(out, x0, x1, top + 2, height - 4, m.rank >= kRankFailed ? kError : kProcess, title);
        if (!m.label.empty()) label(out, x1 + 4, limit, top, height, m.label);
    }
  }
}

std::string PictureSink::svg(std::uint64_t ended_at, bool stopped) const {
  // What is still going on at the end is drawn up to it.
  PictureSink copy = *this;
  for (auto &[pin, led] : copy.leds_) {
    copy.close_led(copy.lane(led_label(pin), Look::Led, kLeds), led, ended_at);
  }
  copy.close_soundings(~std::uint64_t{0}, true);
  std::vector<std::uint32_t> pids;
  for (const auto &[pid, p] : copy.running_) pids.push_back(pid);
  for (std::uint32_t pid : pids) copy.process_exit(pid, ended_at, 0, false);
  if (copy.asleep_since_) copy.asleep(*copy.asleep_since_, ended_at);

  std::vector<const Lane *> lanes = copy.lanes_in_order();
  double bottom = kTop;
  for (const Lane *l : lanes) bottom += height_of(l->look) + kLaneGap;
  double width = PictureScale::kPlotLeft + PictureScale::kPlotWidth + kRightMargin;
  double height = bottom + 24 + legend_height(lanes);

  std::string out;
  out += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
  out += "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + number(width) + "\" height=\"" +
         number(height) + "\" viewBox=\"0 0 " + number(width) + " " + number(height) +
         "\" font-family=\"sans-serif\" font-size=\"12\">\n";
  out += "<style>.small{font-size:10px;fill:#455a64}</style>\n";
  out += std::string(
             "<defs><pattern id=\"blink\" width=\"8\" height=\"8\" "
             "patternUnits=\"userSpaceOnUse\"><rect width=\"4\" height=\"8\" fill=\"") +
         kLit + "\"/><rect x=\"4\" width=\"4\" height=\"8\" fill=\"" + kDark +
         "\"/></pattern></defs>\n";
  out += "<rect width=\"100%\" height=\"100%\" fill=\"#ffffff\"/>\n";
  out += "<text x=\"10\" y=\"20\" font-size=\"14\" font-weight=\"bold\">" + xml_text(title_) +
         "</text>\n";
  out +=
      "<text x=\"10\" y=\"38\" class=\"small\">time from the start of the run; the colours "
      "are explained under the lanes; hover for details</text>\n";

  // The time axis: ticks at a round step, about ten across.
  static const std::uint64_t kSteps[] = {
      1000,   2000,    5000,    10000,   15000,    30000,    60000,    120000,   300000,   600000,
      900000, 1800000, 3600000, 7200000, 10800000, 21600000, 43200000, 86400000, 172800000};
  std::uint64_t step = kSteps[std::size(kSteps) - 1];
  for (std::uint64_t s : kSteps)
    if (scale_.span / s <= 12) {
      step = s;
      break;
    }
  for (std::uint64_t t = 0; t <= scale_.span; t += step) {
    double x = scale_.x(t);
    out += "<line x1=\"" + number(x) + "\" y1=\"" + number(kTop - 8) + "\" x2=\"" + number(x) +
           "\" y2=\"" + number(bottom) + "\" stroke=\"" + kGrid + "\"/>\n";
    out += "<text x=\"" + number(x) + "\" y=\"" + number(kTop - 12) +
           "\" text-anchor=\"middle\" class=\"small\">" + tick_text(t) + "</text>\n";
  }
  double top = kTop;
  for (const Lane *l : lanes) {
    double h = height_of(l->look);
    copy.draw_lane(out, *l, top, h, ended_at);
    top += h + kLaneGap;
  }
  if (stopped) {
    double x = scale_.x(ended_at);
    out += "<line x1=\"" + number(x) + "\" y1=\"" + number(kTop - 8) + "\" x2=\"" + number(x) +
           "\" y2=\"" + number(bottom) + "\" stroke=\"" + kError +
           "\" stroke-width=\"2\"><title>the world stopped the run at " + clock_text(ended_at) +
           "</title></line>\n";
  }
  out += legend(lanes, bottom + 12);
  out += "</svg>\n";
  return out;
}

}  // namespace scenario
