#include "winsim/FaultPlan.h"

#include <stdexcept>

#include "winsim/Text.h"

namespace winsim {
namespace {

// Whether the function of that source name is meant by `wanted`: its full name, or a trailing
// part of it after "::".
bool names(std::string_view function, std::string_view wanted) {
  if (!function.ends_with(wanted)) return false;
  return function.size() == wanted.size() ||
         function.substr(0, function.size() - wanted.size()).ends_with("::");
}

}  // namespace

void FaultPlan::add(Fault fault) {
  if (!fault.in.empty() && (!knows_function_ || !knows_function_(fault.in)))
    throw std::invalid_argument("no program of this world has a function \"" + fault.in + "\"");
  rules_.push_back(Rule{std::move(fault), 0});
}

bool FaultPlan::wants_caller(std::string_view call) const {
  if (recording_ || random_rate_ > 0) return true;
  for (const auto &rule : rules_)
    if (!rule.fault.in.empty() && rule.fault.call == call) return true;
  return false;
}

std::optional<std::uint32_t> FaultPlan::check(std::string_view call,
                                              const std::vector<std::string_view> &subjects,
                                              std::uint32_t default_error,
                                              const CallerOf &caller_of) {
  Caller who;
  if (caller_of && wants_caller(call)) who = caller_of();
  std::string_view caller = who.function;

  std::optional<std::uint32_t> result;
  for (auto &rule : rules_) {
    if (rule.fault.call != call) continue;
    if (!rule.fault.in.empty() && (caller.empty() || !names(caller, rule.fault.in))) continue;
    if (!rule.fault.match.empty()) {
      std::string want = fold_case(rule.fault.match);
      bool hit = false;
      for (auto s : subjects)
        if (fold_case(s).find(want) != std::string::npos) hit = true;
      if (!hit) continue;
    }
    ++rule.seen;
    bool fire = rule.fault.from ? rule.seen >= rule.fault.nth : rule.seen == rule.fault.nth;
    if (fire && !result) result = rule.fault.error.value_or(default_error);
  }
  if (!result && random_rate_ > 0 && !caller.empty() &&
      (!random_eligible_ ||
       random_eligible_(CallSite{std::string(call), std::string(caller), who.program})) &&
      std::uniform_real_distribution<double>(0, 1)(random_) < random_rate_)
    result = default_error;

  if (recording_ && !caller.empty()) {
    SiteCount &count = sites_[CallSite{std::string(call), std::string(caller), who.program}];
    ++count.reached;
    if (result) ++count.failed;
  }
  return result;
}

std::vector<Fault> FaultPlan::unmatched() const {
  std::vector<Fault> out;
  for (const auto &rule : rules_)
    if (rule.seen == 0) out.push_back(rule.fault);
  return out;
}

void FaultPlan::fail_at_random(double rate, std::uint64_t seed,
                               std::function<bool(const CallSite &)> eligible) {
  random_rate_ = rate;
  random_.seed(seed);
  random_eligible_ = std::move(eligible);
}

}  // namespace winsim
