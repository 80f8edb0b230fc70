// The world's fault plan: which emulated calls fail, when, and with which error. Every
// emulated call asks the plan before it does anything else.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace winsim {

struct Fault {
  std::string call;       // emulated function name, for example "RegOpenKeyExA"
  std::string match;      // empty, or text that one of the call's subjects must contain
                          // (key path, value name, file path, service name; any case)
  std::uint32_t nth = 1;  // the nth matching call fails ...
  bool from = false;      // ... or, when set, the nth and every later one
  std::optional<std::uint32_t> error;  // the error code; the call's own default when absent
};

class FaultPlan {
 public:
  void add(Fault fault);
  void clear() { rules_.clear(); }

  // Called by an emulated call: the error to fail with, or nothing. Counts the call against
  // every rule it matches.
  std::optional<std::uint32_t> check(std::string_view call,
                                     const std::vector<std::string_view> &subjects,
                                     std::uint32_t default_error);

 private:
  struct Rule {
    Fault fault;
    std::uint32_t seen = 0;
  };
  std::vector<Rule> rules_;
};

}  // namespace winsim
