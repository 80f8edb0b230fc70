// fault: a rule of the world's fault plan. "fault RegOpenKeyExA nth 3 error 5 match Config"
// fails the third RegOpenKeyExA whose key path or value name contains "Config" with error 5;
// "from 3" fails the third and every later one; without nth or from the first one fails.
// "fault SetEvent in OnStop" counts only the calls made from the program function OnStop.
#include <stdexcept>
#include <string>

#include "scenario/CoreVerbs.h"

namespace scenario {
namespace {

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
    world.faults().add(std::move(rule));
  } catch (const std::invalid_argument &e) {
    throw LineError(std::string("fault: ") + e.what());
  }
}

}  // namespace

void add_fault_verbs(Verbs &verbs) {
  verbs.add("fault", fault);
}

}  // namespace scenario
