// Thrown on the host thread when the world stops a run: every simulated thread is blocked
// with no deadline (deadlock), one thread runs without ever blocking (busy loop), or a process
// would not have memory of its own (isolation: a second process of a program that lives in the
// host's image, or a program image that cannot be loaded), or a program asks for something
// winsim does not emulate (unsupported), rather than get an answer no Windows would give.
#pragma once

#include <stdexcept>
#include <string>

namespace winsim {

class RunStopped : public std::runtime_error {
 public:
  enum class Reason { Deadlock, BusyLoop, Isolation, Unsupported };
  RunStopped(Reason reason, const std::string &report)
      : std::runtime_error(report), reason_(reason) {}
  Reason reason() const { return reason_; }

 private:
  Reason reason_;
};

}  // namespace winsim
