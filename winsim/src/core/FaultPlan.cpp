#include "winsim/FaultPlan.h"

#include "winsim/Text.h"

namespace winsim {

void FaultPlan::add(Fault fault) {
  rules_.push_back(Rule{std::move(fault), 0});
}

std::optional<std::uint32_t> FaultPlan::check(std::string_view call,
                                              const std::vector<std::string_view> &subjects,
                                              std::uint32_t default_error) {
  std::optional<std::uint32_t> result;
  for (auto &rule : rules_) {
    if (rule.fault.call != call) continue;
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
  return result;
}

}  // namespace winsim
