#include "scenario/JsonLinesSink.h"

#include "winsim/Trace.h"

namespace scenario {

void JsonLinesSink::take(const Record &record) {
  out_ << winsim::Trace::dump(record) << '\n';
}

}  // namespace scenario
