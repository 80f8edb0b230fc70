#include "winsim/StandIn.h"

#include <cstdio>
#include <cstdlib>

#include "core/Call.h"

namespace winsim {

std::optional<std::uint32_t> enter_call(const char *name, std::vector<std::string_view> subjects,
                                        std::uint32_t default_error) {
  Call call(name);
  return call.fault(std::move(subjects), default_error);
}

void program_fault(const std::string &what) {
  SimThread *thread = current_thread();
  if (thread == nullptr) {
    std::fprintf(stderr, "winsim: fault of the program outside the simulated world: %s\n",
                 what.c_str());
    std::abort();
  }
  // No switch point: nothing else runs between the fault and the stop.
  thread->scheduler->stop_current(
      RunStopped::Reason::ProgramFault,
      "winsim: fault of the program: " + thread->label + " " + what + "\n");
}

}  // namespace winsim
