#include "scenario/TimelineView.h"

#include <algorithm>
#include <cstdio>
#include <functional>
#include <map>
#include <vector>

namespace scenario {
namespace {

using Record = winsim::Trace::Record;

// The longest pattern a thread may repeat, and the shortest repetition worth a summary line.
constexpr std::size_t kMaxPeriod = 64;
constexpr std::size_t kMinRun = 3;

std::string seconds(std::uint64_t ms) {
  char text[32];
  std::snprintf(text, sizeof text, "%llu.%03llu s", static_cast<unsigned long long>(ms / 1000),
                static_cast<unsigned long long>(ms % 1000));
  return text;
}

std::uint64_t time_of(const Record &r) {
  return r["t"].get<std::uint64_t>();
}

std::string text_of(const Record &r, const char *field) {
  return winsim::Trace::dump(r[field]);
}

// ---- Changes ---------------------------------------------------------------------------------

// What a record changes (its subject) and what it leaves there; records that change nothing
// in particular (messages, sounds, process starts) have no subject.
bool subject_of(const Record &r, std::string &subject, std::string &state) {
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

// For each record of the trace, whether it changes something.
std::vector<bool> changing_records(const std::vector<Record> &records) {
  std::vector<bool> changing(records.size(), true);
  std::map<std::string, std::string> states;
  std::string subject, state;
  for (std::size_t i = 0; i < records.size(); ++i) {
    if (!subject_of(records[i], subject, state)) continue;
    auto [it, added] = states.emplace(subject, state);
    if (!added && it->second == state) changing[i] = false;
    it->second = state;
  }
  return changing;
}

// ---- Folding ---------------------------------------------------------------------------------

// A record without its time, to compare it with the thread's earlier ones.
std::size_t signature(const Record &r) {
  Record copy = r;
  copy.erase("t");
  return std::hash<std::string>()(winsim::Trace::dump(copy));
}

struct Repetition {
  std::uint64_t since = 0;   // time of the first record left out
  std::uint64_t period = 0;  // the longest distance in time between a record and the one it
                             // repeats: the period of the whole pattern
  std::size_t count = 0;     // records left out
};

// Which records a fold leaves out: a record that repeats the one `p` records earlier on its
// thread, at the same distance in time as that one repeated the record before it. The last
// record left out of each run carries the run's summary.
class Folder {
 public:
  explicit Folder(const std::vector<const Record *> &records) : left_out_(records.size(), false) {
    std::map<std::uint32_t, std::vector<std::size_t>> threads;
    for (std::size_t i = 0; i < records.size(); ++i)
      threads[(*records[i])["tid"].get<std::uint32_t>()].push_back(i);
    for (const auto &[tid, indices] : threads) FoldThread(records, indices);
  }

  bool LeftOut(std::size_t i) const { return left_out_[i]; }
  const Repetition *SummaryAt(std::size_t i) const {
    auto it = summaries_.find(i);
    return it == summaries_.end() ? nullptr : &it->second;
  }

 private:
  void FoldThread(const std::vector<const Record *> &records,
                  const std::vector<std::size_t> &indices) {
    std::vector<std::size_t> sigs;
    std::vector<std::uint64_t> times;
    for (std::size_t i : indices) {
      sigs.push_back(signature(*records[i]));
      times.push_back(time_of(*records[i]));
    }
    Repetition run;
    for (std::size_t k = 0; k < indices.size(); ++k) {
      std::uint64_t period = RepeatPeriod(sigs, times, k);
      if (period != 0) {
        if (run.count == 0) run = {times[k], period, 0};
        run.period = std::max(run.period, period);
        ++run.count;
        left_out_[indices[k]] = true;
      } else if (run.count != 0) {
        EndRun(indices, k, run);
        run = {};
      }
    }
    if (run.count != 0) EndRun(indices, indices.size(), run);
  }

  // A short run is shown as it is; a longer one gets its summary at its last record.
  void EndRun(const std::vector<std::size_t> &indices, std::size_t end, const Repetition &run) {
    if (run.count >= kMinRun) {
      summaries_[indices[end - 1]] = run;
      return;
    }
    for (std::size_t k = end - run.count; k < end; ++k) left_out_[indices[k]] = false;
  }

  static std::uint64_t RepeatPeriod(const std::vector<std::size_t> &sigs,
                                    const std::vector<std::uint64_t> &times, std::size_t k) {
    for (std::size_t p = 1; p <= kMaxPeriod && 2 * p <= k; ++p) {
      if (sigs[k] != sigs[k - p]) continue;
      std::uint64_t gap = times[k] - times[k - p];
      if (gap != 0 && gap == times[k - p] - times[k - 2 * p]) return gap;
    }
    return 0;
  }

  std::vector<bool> left_out_;
  std::map<std::size_t, Repetition> summaries_;
};

std::string summary_line(const Record &last, const Repetition &run) {
  char head[64];
  std::snprintf(head, sizeof head, "%14s  pid %-4u tid %-4u ", seconds(time_of(last)).c_str(),
                last["pid"].get<unsigned>(), last["tid"].get<unsigned>());
  return std::string(head) + "...  repeated every " + seconds(run.period) + " from " +
         seconds(run.since) + ": " + std::to_string(run.count) + " records\n";
}

// ---- The verb --------------------------------------------------------------------------------

void timeline(winsim::World &world, const Line &line) {
  TimelineView &view = world.part<TimelineView>();
  const std::string &what = line.word(1, "timeline setting (changes, fold or hide)");
  if (what == "changes") {
    line.no_more_than(1);
    view.changes = true;
  } else if (what == "fold") {
    line.no_more_than(1);
    view.fold = true;
  } else if (what == "hide") {
    line.word(2, "record kind");
    for (std::size_t i = 2; i < line.words.size(); ++i) view.hidden.insert(line.words[i]);
  } else {
    throw LineError("timeline: unknown setting \"" + what + "\" (changes, fold or hide)");
  }
}

}  // namespace

std::string timeline_text(const winsim::Trace &trace, const TimelineView &view) {
  const std::vector<Record> &records = trace.records();
  std::vector<bool> changing =
      view.changes ? changing_records(records) : std::vector<bool>(records.size(), true);
  std::vector<const Record *> shown;
  for (std::size_t i = 0; i < records.size(); ++i)
    if (changing[i] && view.hidden.count(records[i]["kind"].get<std::string>()) == 0)
      shown.push_back(&records[i]);
  std::string out;
  if (!view.fold) {
    for (const Record *r : shown) out += winsim::Trace::timeline_line(*r);
    return out;
  }
  Folder folder(shown);
  for (std::size_t i = 0; i < shown.size(); ++i) {
    if (!folder.LeftOut(i))
      out += winsim::Trace::timeline_line(*shown[i]);
    else if (const Repetition *run = folder.SummaryAt(i))
      out += summary_line(*shown[i], *run);
  }
  return out;
}

void add_timeline_verbs(Verbs &verbs) {
  verbs.add("timeline", timeline);
}

}  // namespace scenario
