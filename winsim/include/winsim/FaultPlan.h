// The world's fault plan: which emulated calls fail, when, and with which error. Every
// emulated call that can fail asks the plan before it does anything else.
//
// A rule names the call and, optionally, the program function it must come from ("SetEvent in
// OnStop"); the plan then counts only that function's calls. The plan can also record every
// (call, calling function) pair the programs reach, which is how a sweep finds the call sites
// to fail one by one, and fail calls at random at a given rate, reproducibly from a seed.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <random>
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
  std::string in;  // empty, or the program function the call must be made from: its full name
                   // ("CQuilletCtrl::OnStop") or a trailing part after "::" ("OnStop")
};

// A call site as the plan sees it: the emulated function, the program function that called it
// (as the source names it) and the program's image name ("Quillet.exe").
struct CallSite {
  std::string call;
  std::string caller;
  std::string program;
  auto operator<=>(const CallSite &) const = default;
};

struct SiteCount {
  std::uint64_t reached = 0;  // calls made from the site
  std::uint64_t failed = 0;   // of them, made to fail by the plan
};

class FaultPlan {
 public:
  // Adds a rule. A rule that names a calling function no program of the world has is refused
  // (std::invalid_argument), so that a misspelt name cannot pass as a fault never injected.
  void add(Fault fault);
  void clear() { rules_.clear(); }

  // The program function a call comes from and the program's image name, worked out only when
  // a rule or the recording needs them; an empty function for a call that no program function
  // made (the host's, a stand-in library's).
  struct Caller {
    std::string_view function;
    std::string program;
  };
  using CallerOf = std::function<Caller()>;
  // Called by an emulated call: the error to fail with, or nothing. Counts the call against
  // every rule it matches.
  std::optional<std::uint32_t> check(std::string_view call,
                                     const std::vector<std::string_view> &subjects,
                                     std::uint32_t default_error, const CallerOf &caller = {});

  // Rules that no call has matched yet.
  std::vector<Fault> unmatched() const;

  // Recording of the call sites the programs reach (and which of their calls failed).
  void record_sites(bool on) { recording_ = on; }
  const std::map<CallSite, SiteCount> &sites() const { return sites_; }

  // Every call made from a program function (of the sites `eligible` accepts, when given) fails
  // with its own default error with probability `rate` (0 turns it off), drawn from `seed`.
  void fail_at_random(double rate, std::uint64_t seed,
                      std::function<bool(const CallSite &)> eligible = {});

  // Set by the world: whether some program it knows has a function of that name.
  void set_function_names(std::function<bool(std::string_view)> knows) {
    knows_function_ = std::move(knows);
  }

 private:
  struct Rule {
    Fault fault;
    std::uint32_t seen = 0;
  };
  bool wants_caller(std::string_view call) const;

  std::vector<Rule> rules_;
  bool recording_ = false;
  std::map<CallSite, SiteCount> sites_;
  double random_rate_ = 0;
  std::mt19937_64 random_;
  std::function<bool(const CallSite &)> random_eligible_;
  std::function<bool(std::string_view)> knows_function_;
};

}  // namespace winsim
