#include "scenario/TimelineSink.h"

#include <algorithm>
#include <cstdio>
#include <functional>

#include "scenario/CodeNames.h"
#include "winsim/Trace.h"

namespace scenario {
namespace {

// The longest pattern a thread may repeat, and the shortest repetition worth a summary line.
constexpr std::size_t kMaxPeriod = 64;
constexpr std::size_t kMinRun = 3;
// A pin whose level changes again within this long is blinking.
constexpr std::uint64_t kBlinkMs = 1000;

// A length of time: "60.000 s".
std::string seconds(std::uint64_t ms) {
  char text[32];
  std::snprintf(text, sizeof text, "%llu.%03llu s", static_cast<unsigned long long>(ms / 1000),
                static_cast<unsigned long long>(ms % 1000));
  return text;
}

std::string text_of(const winsim::TraceSink::Record &r, const char *field) {
  return winsim::Trace::dump(r[field]);
}

// What a record changes (its subject) and what it leaves there; records that change nothing
// in particular (messages, sounds, process starts) have no subject.
bool subject_of(const winsim::TraceSink::Record &r, std::string &subject, std::string &state) {
  const std::string &kind = r["kind"].get_ref<const std::string &>();
  if (kind == "reg.set" || kind == "reg.delete") {
    subject = "reg " + text_of(r, "key") + " " + text_of(r, "name");
    state = kind == "reg.set" ? text_of(r, "type") + " " + text_of(r, "data") : "deleted";
    return true;
  }
  if (kind == "gpio") {
    subject = "gpio " + text_of(r, "pin");
    state = text_of(r, "level");
    return true;
  }
  if (kind == "smart.read") {
    subject = "smart " + text_of(r, "device") + " " + text_of(r, "feature");
    state = text_of(r, "error");
    return true;
  }
  return false;
}

// A record without its time, to compare it with the thread's earlier ones.
std::size_t signature(const winsim::TraceSink::Record &r) {
  winsim::TraceSink::Record copy = r;
  copy.erase("t");
  return std::hash<std::string>()(winsim::Trace::dump(copy));
}

}  // namespace

TimelineSink::TimelineSink(std::ostream &out, TimelineView view, TimelineText text)
    : out_(out), view_(std::move(view)), text_(std::move(text)) {}

void TimelineSink::take(const Record &record) {
  if (view_.blinks) settle_blinks(record["t"].get<std::uint64_t>());
  if ((!view_.changes || changes_something(record)) &&
      view_.hidden.count(record["kind"].get<std::string>()) == 0) {
    if (view_.blinks && record["kind"] == "gpio")
      blink(record);
    else if (view_.fold)
      fold(record);
    else
      push(text_.line(record), false);
  }
  if (view_.fold) forget_ended(record);
  flush();
}

void TimelineSink::finish() {
  for (auto &[name, pin] : blinks_) settle(pin, name);
  for (auto &[tid, thread] : threads_) end_run(thread);
  threads_.clear();
  flush();
  out_.flush();
}

bool TimelineSink::changes_something(const Record &record) {
  std::string subject, state;
  if (!subject_of(record, subject, state)) return true;
  auto [it, added] = states_.emplace(std::move(subject), state);
  if (added) return true;
  bool changed = it->second != state;
  it->second = std::move(state);
  return changed;
}

// A pin that blinks shows one line where the blinking starts and one where it stops, in place
// of its writes. The lines of a pin's first short stretches wait until it is known whether
// they start a blink.
void TimelineSink::blink(const Record &record) {
  std::string name = TimelineText::pin(record["pin"].get<std::uint32_t>());
  Blink &pin = blinks_[name];
  int level = record["level"].get<int>();
  std::uint64_t t = record["t"].get<std::uint64_t>();
  std::string line = text_.line(record);
  std::string head = text_.head(record);
  if (level == pin.level) {
    if (!pin.blinking) push(std::move(line), false);
    return;
  }
  bool first = pin.level == -1;
  bool quick = !first && t - pin.since <= kBlinkMs;
  pin.level = level;
  pin.since = t;
  pin.head = head;
  if (pin.blinking) {
    ++pin.changes;
    at(pin.stop) = Entry{};
    pin.stop = push(std::string(), true);
  } else if (quick && pin.unsure.size() >= 2) {
    std::string &start = at(pin.unsure.front()).text;
    start = start.substr(0, start.find("gpio")) + "gpio  pin=" + name + "  blinking\n";
    for (std::uint64_t place : pin.unsure) at(place).pending = false;
    for (std::size_t i = 1; i < pin.unsure.size(); ++i) at(pin.unsure[i]) = Entry{};
    pin.unsure.clear();
    pin.blinking = true;
    pin.changes = 3;
    pin.stop = push(std::string(), true);
  } else {
    std::uint64_t place = push(std::move(line), !first);
    if (!first) pin.unsure.push_back(place);
  }
}

// Pins that have not changed for longer than a blink's stretch have stopped blinking, or did
// not start: their waiting lines are settled.
void TimelineSink::settle_blinks(std::uint64_t t) {
  for (auto &[name, pin] : blinks_)
    if ((pin.blinking || !pin.unsure.empty()) && t - pin.since > kBlinkMs) settle(pin, name);
}

void TimelineSink::settle(Blink &pin, const std::string &name) {
  if (pin.blinking) {
    at(pin.stop) = Entry{pin.head + "gpio  pin=" + name + "  level=" + std::to_string(pin.level) +
                             " (" + std::string(gpio_level_name(pin.level)) +
                             ")  after blinking (" + std::to_string(pin.changes) + " changes)\n",
                         false};
    pin.blinking = false;
  }
  for (std::uint64_t place : pin.unsure) at(place).pending = false;
  pin.unsure.clear();
}

// A record that repeats the one `p` records earlier on its thread, at the same distance in
// time as that one repeated the record before it, is left out. A repetition of fewer than
// kMinRun records is shown as it is; a longer one gets one summary line in place of its last
// record.
void TimelineSink::fold(const Record &record) {
  std::uint32_t tid = record["tid"].get<std::uint32_t>();
  ThreadFold &thread = threads_[tid];
  std::uint64_t t = record["t"].get<std::uint64_t>();
  thread.tid = tid;
  thread.pid = record["pid"].get<std::uint32_t>();
  thread.recent.push_back({signature(record), t});
  if (thread.recent.size() > 2 * kMaxPeriod + 1) thread.recent.pop_front();
  ++thread.count;
  std::uint64_t period = repeat_period(thread);
  if (period == 0) {
    end_run(thread);
    push(text_.line(record), false);
    return;
  }
  Repetition &run = thread.run;
  if (run.count == 0) run.since = t;
  run.period = std::max(run.period, period);
  run.last_t = t;
  run.last_pid = thread.pid;
  ++run.count;
  if (run.count < kMinRun) {
    run.held.push_back(push(text_.line(record), true));
    return;
  }
  for (std::uint64_t place : run.held) at(place) = Entry{};
  run.held.clear();
  if (run.count > kMinRun) at(run.summary) = Entry{};
  run.summary = push(std::string(), true);
}

std::uint64_t TimelineSink::repeat_period(const ThreadFold &thread) {
  const auto &recent = thread.recent;
  std::size_t k = recent.size() - 1;       // the latest record, in `recent`
  std::uint64_t index = thread.count - 1;  // the same, among all of the thread's records
  for (std::size_t p = 1; p <= kMaxPeriod && 2 * p <= index; ++p) {
    if (recent[k].signature != recent[k - p].signature) continue;
    std::uint64_t gap = recent[k].t - recent[k - p].t;
    if (gap != 0 && gap == recent[k - p].t - recent[k - 2 * p].t) return gap;
  }
  return 0;
}

void TimelineSink::end_run(ThreadFold &thread) {
  Repetition &run = thread.run;
  if (run.count == 0) return;
  for (std::uint64_t place : run.held) at(place).pending = false;
  if (run.count >= kMinRun) {
    at(run.summary) =
        Entry{text_.head(run.last_t, run.last_pid, thread.tid) + "...  repeated every " +
                  seconds(run.period) + " from " + TimelineText::clock_of(run.since) + ": " +
                  std::to_string(run.count) + " records\n",
              false};
  }
  run = Repetition{};
}

// A thread that has ended repeats nothing more: its repetition ends and its history goes, so a
// long run that starts many processes keeps none of theirs.
void TimelineSink::forget_ended(const Record &record) {
  const std::string &kind = record["kind"].get_ref<const std::string &>();
  if (kind == "thread.exit") {
    auto it = threads_.find(record["tid"].get<std::uint32_t>());  // it records its own end
    if (it == threads_.end()) return;
    end_run(it->second);
    threads_.erase(it);
  } else if (kind == "process.exit") {
    std::uint32_t pid = record["pid"].get<std::uint32_t>();
    for (auto it = threads_.begin(); it != threads_.end();) {
      if (it->second.pid != pid) {
        ++it;
        continue;
      }
      end_run(it->second);
      it = threads_.erase(it);
    }
  }
}

std::uint64_t TimelineSink::push(std::string text, bool pending) {
  lines_.push_back({std::move(text), pending});
  return first_ + lines_.size() - 1;
}

void TimelineSink::flush() {
  while (!lines_.empty() && !lines_.front().pending) {
    out_ << lines_.front().text;
    lines_.pop_front();
    ++first_;
  }
}

}  // namespace scenario
