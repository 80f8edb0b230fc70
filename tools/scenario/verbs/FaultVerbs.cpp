// fault: a rule of the world's fault plan. "fault RegOpenKeyExA nth 3 error 5 match Config"
// fails the third RegOpenKeyExA whose key path or value name contains "Config" with error 5;
// "from 3" fails the third and every later one; without nth or from the first one fails.
// "fault SetEvent in OnStop" counts only the calls made from the program function OnStop.
// A call winsim does not emulate is refused, and a rule that never matched a call is reported
// at the end of the run: a fault meant to be injected never passes unnoticed.
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "scenario/CodeNames.h"
#include "scenario/verbs/CoreVerbs.h"

namespace scenario {
namespace {

// The rules the fault lines added, in order, with their line numbers.
struct FaultLines {
  std::vector<std::pair<int, winsim::Fault>> rules;
};

bool is_call_name(const std::string &name) {
  if (name.empty()) return false;
  for (char c : name) {
    bool ok = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
              c == '_' || c == ':';
    if (!ok) return false;
  }
  return true;
}

void fault(winsim::World &world, const Line &line) {
  winsim::Fault rule;
  rule.call = line.word(1, "call name (for example RegOpenKeyExA)");
  if (!is_call_name(rule.call))
    throw LineError("fault: \"" + rule.call + "\" is not a call name (for example RegOpenKeyExA)");
  if (!is_emulated_call(rule.call)) {
    std::string_view meant = closest_name(rule.call, emulated_calls());
    throw LineError("fault: winsim has no call \"" + rule.call + "\"" +
                    (meant.empty() ? "" : " (did you mean " + std::string(meant) + "?)"));
  }
  bool counted = false, errored = false, matched = false, placed = false;
  for (std::size_t i = 2; i < line.words.size(); i += 2) {
    const std::string &option = line.words[i];
    bool count_option = option == "nth" || option == "from";
    if (!count_option && option != "error" && option != "match" && option != "in")
      throw LineError("fault: unknown option \"" + option + "\" (in, nth, from, error or match)");
    bool &seen = count_option        ? counted
                 : option == "error" ? errored
                 : option == "in"    ? placed
                                     : matched;
    if (seen)
      throw LineError(count_option ? "fault: give nth or from once"
                                   : "fault: " + option + " is given twice");
    seen = true;
    const std::string &value = line.word(i + 1, (option + " value").c_str());
    if (count_option) {
      rule.nth = parse_u32(value, option.c_str());
      if (rule.nth == 0) throw LineError("fault: " + option + " counts from 1");
      rule.from = option == "from";
    } else if (option == "error") {
      rule.error = parse_u32(value, "error code");
    } else if (option == "in") {
      rule.in = value;
    } else {
      if (value.empty()) throw LineError("fault: match needs a text");
      rule.match = value;
    }
  }
  try {
    world.faults().add(rule);
  } catch (const std::invalid_argument &e) {
    throw LineError(std::string("fault: ") + e.what());
  }
  world.part<FaultLines>().rules.push_back({line.number, std::move(rule)});
}

bool same_rule(const winsim::Fault &a, const winsim::Fault &b) {
  return a.call == b.call && a.match == b.match && a.nth == b.nth && a.from == b.from &&
         a.error == b.error && a.in == b.in;
}

}  // namespace

// The plan's unmatched rules are some of the rules in the order they were added, and rules
// alike see the same calls, so walking both lists in step pairs each with its line.
std::vector<int> unmatched_fault_lines(winsim::World &world) {
  std::vector<winsim::Fault> unmatched = world.faults().unmatched();
  std::vector<int> lines;
  std::size_t next = 0;
  for (const auto &[number, rule] : world.part<FaultLines>().rules)
    if (next < unmatched.size() && same_rule(rule, unmatched[next])) {
      lines.push_back(number);
      ++next;
    }
  return lines;
}

void add_fault_verbs(Verbs &verbs) {
  verbs.add("fault", fault,
            "fault <call> [in <function>] [nth <n>|from <n>] [error <code>] [match <text>]");
}

}  // namespace scenario
