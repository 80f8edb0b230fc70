// One trace record as a line of the timeline (simrun --timeline), with names beside codes:
//
//     0:02:17.000  09:02:17  pid 24   tid 48   gpio  pin=10 (status LED)  level=0 (lit)
//     0:04:00.000  09:04:00  line 35           scenario  sc control Orvexd powerevent suspend
//
// The time from the start of the run (h:mm:ss.mmm), the simulated machine's local clock, the
// process and thread that made the record (or the scenario line, for what the scenario did),
// the kind and the fields. A field holding a code keeps its number and gets its name in
// brackets: LED pins, GPIO levels, service states, controls and power events, event types,
// Windows error codes, the appliance's status codes, snooze types, the installer's exit codes,
// window messages. Text fields are written on the line, their line ends as \r and \n.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "winsim/TraceSink.h"

namespace scenario {

class TimelineText {
 public:
  using Record = winsim::TraceSink::Record;

  // A world whose calendar was not changed starts at 09:00 local time.
  static constexpr std::int64_t kDefaultLocalStart = 9 * 3600;

  // `local_start_s`: the machine's local clock at virtual time 0, in seconds since midnight.
  explicit TimelineText(std::int64_t local_start_s = kDefaultLocalStart);

  // The record's line, with its line end. Remembers the program of each running process, to
  // name its exit code.
  std::string line(const Record &record);
  // The columns before the kind: the times, and the process and thread or the scenario line.
  std::string head(const Record &record) const;
  std::string head(std::uint64_t t, std::uint32_t pid, std::uint32_t tid) const;
  // The kind and the fields, without the line end.
  std::string body(const Record &record);

  static std::string clock_of(std::uint64_t ms);  // "0:02:17.000"
  static std::string elapsed(std::uint64_t ms);   // the same in a column: "  0:02:17.000"
  std::string local(std::uint64_t ms) const;      // "09:02:17"
  // A pin with its LED's name: "10 (status LED)".
  static std::string pin(std::uint32_t pin);

  // Every kind of record a run's trace may hold.
  static const std::vector<std::string_view> &kinds();

 private:
  std::string field(const Record &record, const std::string &key, const Record &value) const;
  std::string name_of(const Record &record, const std::string &key, std::uint64_t value) const;

  std::int64_t local_start_s_;
  std::map<std::uint32_t, std::string> images_;  // by pid, while the process runs
};

}  // namespace scenario
