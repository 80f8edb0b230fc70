#include "scenario/PictureSink.h"

#include <algorithm>
#include <cstdio>

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
// A lane of processes labels each exit code when it has no more processes than this.
constexpr std::size_t kLabelledProcesses = 20;

constexpr double kTop = 64;  // the first lane's top edge
constexpr double kLaneGap = 6;
constexpr double kRightMargin = 24;

// Sections, top to bottom.
enum Section { kLeds, kAlarms, kStatusValues, kEventLog, kServices, kProcesses, kOthers };

const char *const kLit = "#ffb300";
const char *const kDark = "#37474f";
const char *const kNormal = "#43a047";
const char *const kWarning = "#fb8c00";
const char *const kError = "#e53935";
const char *const kFailed = "#8e8e8e";
const char *const kInformation = "#1e88e5";
const char *const kSound = "#8e24aa";
const char *const kProcess = "#607d8b";
const char *const kGrid = "#e0e0e0";

double height_of(PictureSink::Look look) {
  switch (look) {
    case PictureSink::Look::Led:
      return 18;
    case PictureSink::Look::Service:
    case PictureSink::Look::Process:
      return 8;
    default:
      return 14;
  }
}

std::string number(double v) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f", v);
  return text;
}

// Virtual time as "H:MM:SS.mmm", with the day in front from the second day on.
std::string clock_text(std::uint64_t ms) {
  char text[48];
  std::uint64_t s = ms / 1000, days = s / 86400;
  std::snprintf(
      text, sizeof text, "%llu:%02llu:%02llu.%03llu",
      static_cast<unsigned long long>(s / 3600 % 24), static_cast<unsigned long long>(s / 60 % 60),
      static_cast<unsigned long long>(s % 60), static_cast<unsigned long long>(ms % 1000));
  return days == 0 ? text : "day " + std::to_string(days + 1) + " " + text;
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
  return pin == 10   ? "status LED"
         : pin == 32 ? "RAID LED A"
         : pin == 12 ? "RAID LED B"
                     : "GPIO pin " + std::to_string(pin);
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
bool is_status_code(std::uint64_t v) {
  return v == 100 || v == 200 || v == 300 || (v >= 11000 && v <= 99999 && v % 100 == 0);
}
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
const char *service_state_name(int state) {
  const char *const names[] = {"?",       "stopped",          "start pending", "stop pending",
                               "running", "continue pending", "pause pending", "paused"};
  return state >= 1 && state <= 7 ? names[state] : names[0];
}

const char *rank_colour(int rank) {
  const char *const colours[] = {kFailed, kInformation, kWarning, kError};
  return colours[std::clamp(rank, 0, 3)];
}

// Event types: 1 error, 2 warning, 4 information, 8 and 16 audits.
int event_rank(unsigned type) {
  return type == 1 ? 3 : type == 2 ? 2 : type == 4 ? 1 : 0;
}
const char *event_type_name(unsigned type) {
  return type == 1 ? "error" : type == 2 ? "warning" : type == 4 ? "information" : "audit";
}

// The record's own fields, as the timeline shows them.
std::string fields_text(const winsim::TraceSink::Record &r) {
  std::string line = winsim::Trace::timeline_line(r);
  std::size_t kind = line.find(r["kind"].get_ref<const std::string &>());
  line = kind == std::string::npos ? line : line.substr(kind);
  if (!line.empty() && line.back() == '\n') line.pop_back();
  return clock_text(r["t"].get<std::uint64_t>()) + "  " + line;
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
  if (added) lanes_.push_back({label, look, section, lanes_.size(), {}, {}});
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
  } else if (kind == "svc.status") {
    int state = r.value("state", 0);
    lane("service " + r.value("service", std::string()), Look::Service, kServices)
        .steps.set(scale_, t, state, state);
  } else if (kind == "process.start") {
    running_[r["pid"].get<std::uint32_t>()] = {t, base_name(r.value("image", std::string())),
                                               r.value("cmdline", std::string())};
  } else if (kind == "process.exit") {
    unsigned code = r.value("code", 0u);
    process_exit(r["pid"].get<std::uint32_t>(), t, "exit code " + std::to_string(code),
                 code == 0 ? 1 : 3);
  } else if (const char *label = other_lane(kind)) {
    mark(label, r, t, kind == "fault" ? 3 : 1);
  }
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
      is_status_code(data.get<std::uint64_t>())) {
    int code = data.get<int>();
    lane(name, Look::Status, kStatusValues).steps.set(scale_, t, code, status_rank(code));
    return;
  }
  mark("registry changes", r, t, 1);
}

// ---- Event log, processes, marks -------------------------------------------------------------

void PictureSink::event(const Record &r, std::uint64_t t) {
  unsigned type = r.value("type", 0u);
  char id[16];
  std::snprintf(id, sizeof id, "0x%08X", r.value("id", 0u));
  std::string text = clock_text(t) + "  " + event_type_name(type) + " " + id + "  " +
                     r.value("source", std::string());
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

void PictureSink::process_exit(std::uint32_t pid, std::uint64_t t, const std::string &outcome,
                               int rank) {
  auto it = running_.find(pid);
  if (it == running_.end()) return;
  const Running &p = it->second;
  lane(p.image, Look::Process, kProcesses)
      .marks.add(scale_, p.from, t, rank,
                 clock_text(p.from) + "  " + p.cmdline + "  (pid " + std::to_string(pid) + ")\n" +
                     clock_text(t) + "  " + outcome,
                 kFewTexts, outcome);
  running_.erase(it);
}

void PictureSink::mark(const std::string &label, const Record &r, std::uint64_t t, int rank) {
  lane(label, Look::Mark, kOthers).marks.add(scale_, t, t, rank, fields_text(r), kManyTexts);
}

// ---- Drawing ---------------------------------------------------------------------------------

// What the colours of the lanes drawn mean.
std::string PictureSink::legend(const std::vector<const Lane *> &lanes) {
  bool leds = false, status = false;
  for (const Lane *l : lanes) {
    leds = leds || l->look == Look::Led;
    status = status || l->look == Look::Status;
  }
  std::string out = "virtual time; ";
  if (leds) out += "LEDs lit (amber), dark (grey), blinking (stripes); ";
  if (status)
    out += "status normal (green), warning (orange), error (red), failed reading (grey); ";
  return out + "hover for details";
}

std::vector<const PictureSink::Lane *> PictureSink::lanes_in_order() const {
  std::vector<const Lane *> out;
  for (const Lane &l : lanes_)
    if (!l.steps.empty() || !l.marks.empty()) out.push_back(&l);
  std::stable_sort(out.begin(), out.end(), [](const Lane *a, const Lane *b) {
    if (a->section != b->section) return a->section < b->section;
    if (known_rank(a->label) != known_rank(b->label))
      return known_rank(a->label) < known_rank(b->label);
    return a->order < b->order;
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

void PictureSink::draw_lane(std::string &out, const Lane &l, double top, double height,
                            std::uint64_t end) const {
  out += "<g><text x=\"" + number(PictureScale::kPlotLeft - 8) + "\" y=\"" +
         number(top + height / 2 + 4) + "\" text-anchor=\"end\">" + xml_text(l.label) + "</text>\n";
  auto rect = [&](double x0, double x1, double y, double h, const char *fill,
                  const std::string &title) {
    out += "<rect x=\"" + number(x0) + "\" y=\"" + number(y) + "\" width=\"" +
           number(std::max(x1 - x0, 1.0)) + "\" height=\"" + number(h) + "\" fill=\"" + fill +
           "\">";
    if (!title.empty()) out += "<title>" + xml_text(title) + "</title>";
    out += "</rect>\n";
  };
  if (!l.steps.empty()) {
    auto steps = l.steps.steps(scale_);
    for (std::size_t i = 0; i < steps.size(); ++i) {
      std::uint64_t from = steps[i].t, to = i + 1 < steps.size() ? steps[i + 1].t : end;
      if (to <= from && i + 1 < steps.size()) continue;
      int v = steps[i].value;
      std::string when = clock_text(from) + " to " + clock_text(to) + "  ";
      switch (l.look) {
        case Look::Led:
          rect(scale_.x(from), scale_.x(to), top, height,
               v == 2   ? "url(#blink)"
               : v == 1 ? kLit
                        : kDark,
               when + (v == 2   ? "blinking"
                       : v == 1 ? "lit"
                                : "dark"));
          break;
        case Look::Status:
          rect(scale_.x(from), scale_.x(to), top, height, status_colour(v),
               when + l.label + " = " + std::to_string(v));
          break;
        default:
          rect(scale_.x(from), scale_.x(to), top, height, service_colour(v),
               when + service_state_name(v));
      }
    }
  }
  for (const PictureMarks::Mark &m : l.marks.marks()) {
    std::string title = m.title;
    if (m.count > m.texts) title += "\n... and " + std::to_string(m.count - m.texts) + " more";
    double x0 = scale_.x(m.from), x1 = scale_.x(m.to);
    switch (l.look) {
      case Look::Event:
      case Look::Mark:
        rect(x0 - 1.5, x0 + 1.5, top, height, rank_colour(m.rank), title);
        break;
      case Look::Sound:
        rect(x0, x1, top + 2, height - 4, kSound, title);
        break;
      default:
        rect(x0, x1, top, height, m.rank >= 3 ? kError : kProcess, title);
        if (!m.label.empty() && l.marks.marks().size() <= kLabelledProcesses)
          out += "<text x=\"" + number(std::max(x1, x0 + 1) + 4) + "\" y=\"" +
                 number(top + height) + "\" class=\"small\">" + xml_text(m.label) + "</text>\n";
    }
  }
  out += "</g>\n";
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
  for (std::uint32_t pid : pids) copy.process_exit(pid, ended_at, "still running", 1);

  std::vector<const Lane *> lanes = copy.lanes_in_order();
  double bottom = kTop;
  for (const Lane *l : lanes) bottom += height_of(l->look) + kLaneGap;
  double width = PictureScale::kPlotLeft + PictureScale::kPlotWidth + kRightMargin;
  double height = bottom + 30;

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
  out += "<text x=\"10\" y=\"38\" class=\"small\">" + xml_text(legend(lanes)) + "</text>\n";

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
  out += "</svg>\n";
  return out;
}

}  // namespace scenario
