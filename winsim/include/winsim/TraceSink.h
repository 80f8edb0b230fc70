// Where the trace goes as it is made: a sink takes each record the moment the world adds it.
// The simulator streams the trace into its outputs this way (a file of JSON Lines, the
// timeline, the picture), so a long run holds no more than what each output keeps.
#pragma once

#include <nlohmann/json.hpp>

namespace winsim {

class TraceSink {
 public:
  using Record = nlohmann::ordered_json;

  virtual ~TraceSink() = default;
  // One record, in the order the world made them.
  virtual void take(const Record &record) = 0;
  // The trace has ended: no record follows.
  virtual void finish() {}
};

}  // namespace winsim
