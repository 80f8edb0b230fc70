// The trace as JSON Lines (simrun's standard output): one object per record, written as it
// is made.
#pragma once

#include <ostream>

#include "winsim/TraceSink.h"

namespace scenario {

class JsonLinesSink : public winsim::TraceSink {
 public:
  explicit JsonLinesSink(std::ostream &out) : out_(out) {}

  void take(const Record &record) override;
  void finish() override { out_.flush(); }

 private:
  std::ostream &out_;
};

}  // namespace scenario
