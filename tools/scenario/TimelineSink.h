// The timeline (simrun --timeline) made as the run goes: each record becomes its line, or is
// left out as its TimelineView says, the moment it arrives. A repetition that is being folded
// holds back only the lines that follow the place its summary will take, so a run of days
// keeps little more than the lines it has yet to write.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "scenario/TimelineText.h"
#include "scenario/TimelineView.h"
#include "winsim/TraceSink.h"

namespace scenario {

class TimelineSink : public winsim::TraceSink {
 public:
  TimelineSink(std::ostream &out, TimelineView view, TimelineText text = TimelineText());

  void take(const Record &record) override;
  void finish() override;

 private:
  // A line written, or one whose fate is not known yet (pending): a record a short repetition
  // may still leave out, or the place kept for a repetition's summary.
  struct Entry {
    std::string text;
    bool pending = false;
  };
  struct Seen {
    std::size_t signature;
    std::uint64_t t;
  };
  struct Repetition {
    std::uint64_t since = 0;   // time of the first record left out
    std::uint64_t period = 0;  // the longest distance between a record and the one it repeats
    std::size_t count = 0;     // records left out
    std::uint64_t last_t = 0;  // time of the last record left out
    std::uint32_t last_pid = 0;
    std::vector<std::uint64_t> held;  // lines of a repetition still too short to fold
    std::uint64_t summary = 0;        // the place of its summary, once it is long enough
  };
  // A pin's writes, read for blinking: level changes of under a second that follow each other.
  struct Blink {
    int level = -1;
    std::uint64_t since = 0;  // the last change of level
    bool blinking = false;
    std::vector<std::uint64_t> unsure;  // lines of short stretches a blink may still take
    std::uint64_t stop = 0;             // the place of the line that ends the blinking
    std::size_t changes = 0;
    std::string head;  // of the last change
  };
  struct ThreadFold {
    std::deque<Seen> recent;  // the thread's latest records, as far back as a period reaches
    std::uint64_t count = 0;  // the thread's records so far
    std::uint32_t pid = 0;
    std::uint32_t tid = 0;
    Repetition run;
  };

  bool changes_something(const Record &record);
  void blink(const Record &record);
  void settle_blinks(std::uint64_t t);
  void settle(Blink &pin, const std::string &name);
  void fold(const Record &record);
  static std::uint64_t repeat_period(const ThreadFold &thread);
  void end_run(ThreadFold &thread);
  void forget_ended(const Record &record);

  std::uint64_t push(std::string text, bool pending);
  Entry &at(std::uint64_t place) { return lines_[place - first_]; }
  void flush();

  std::ostream &out_;
  TimelineView view_;
  TimelineText text_;
  std::map<std::string, std::string> states_;  // subject -> what a write left there
  std::map<std::uint32_t, ThreadFold> threads_;
  std::map<std::string, Blink> blinks_;  // by pin
  std::deque<Entry> lines_;
  std::uint64_t first_ = 0;  // place of lines_.front()
};

}  // namespace scenario
