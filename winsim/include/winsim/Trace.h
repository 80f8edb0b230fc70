// What the world saw: every observable effect, in order, with its virtual time, process and
// thread. Record kinds and their field names are an external interface: add, never rename.
//
// Each record goes to the sinks attached, as it is made. The trace also keeps every record in
// memory, for tests that read them back, unless told not to: a long simulator run streams into
// its sinks and keeps nothing.
#pragma once

#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>
#include <vector>

#include "winsim/TraceSink.h"

namespace winsim {

class Trace {
 public:
  using Record = nlohmann::ordered_json;

  // Appends a record of `kind` with `fields` after the common fields t (virtual ms), pid, tid.
  void add(std::uint64_t t, std::uint32_t pid, std::uint32_t tid, std::string_view kind,
           Record fields);

  // Each later record also goes to `sink`, which must outlive the trace or its finish().
  void attach(TraceSink &sink) { sinks_.push_back(&sink); }
  // Whether records are kept in memory (records(), jsonl(), ...); kept by default.
  void keep_records(bool keep) { keep_ = keep; }
  // Tells the sinks that no record follows, and lets them go.
  void finish();

  const std::vector<Record> &records() const { return records_; }
  std::vector<Record> of_kind(std::string_view kind) const;
  // Records of `kind` reduced to the listed fields (plus nothing else), for compact assertions.
  std::vector<Record> select(std::string_view kind, const std::vector<std::string> &fields) const;
  std::size_t size() const { return records_.size(); }
  void clear() { records_.clear(); }

  // One JSON object per line.
  std::string jsonl() const;
  // A human-readable timeline: "  12.500 s  pid 12 tid 16  kind  field=value ...".
  std::string timeline() const;
  // One record as a line of the timeline, with its line end.
  static std::string timeline_line(const Record &record);

  static std::string dump(const Record &record);

 private:
  std::vector<Record> records_;
  std::vector<TraceSink *> sinks_;
  bool keep_ = true;
};

}  // namespace winsim
