// seed, acp, clock, cpu, event and mutex: settings of the simulated machine and signals from
// outside it.
#include <string>

#include "scenario/verbs/CoreVerbs.h"

namespace scenario {
namespace {

bool is_supported_code_page(std::uint32_t codepage) {
  return codepage == 932 || codepage == 1252 || codepage == 437 || codepage == 65001;
}

void seed(winsim::World &world, const Line &line) {
  std::uint64_t value = parse_u64(line.word(1, "seed number"), "seed");
  line.no_more_than(1);
  world.set_seed(value);
}

void acp(winsim::World &world, const Line &line) {
  std::uint32_t codepage = parse_u32(line.word(1, "code page"), "code page");
  line.no_more_than(1);
  if (!is_supported_code_page(codepage))
    throw LineError("acp: code page " + std::to_string(codepage) +
                    " is not supported (932, 1252, 437 or 65001)");
  world.set_acp(codepage);
}

// "clock ticks <n>": the tick count reads <n> at the line's time and counts on from there, so a
// scenario can bring the 32-bit wrap of GetTickCount close.
void clock(winsim::World &world, const Line &line) {
  const std::string &what = line.word(1, "clock setting (ticks)");
  if (what != "ticks") throw LineError("clock: unknown setting \"" + what + "\" (expected ticks)");
  std::uint32_t ticks = parse_u32(line.word(2, "tick count"), "tick count");
  line.no_more_than(2);
  world.set_tick_base(ticks - static_cast<std::uint32_t>(world.now()));
}

void event(winsim::World &world, const Line &line) {
  const std::string &action = line.word(1, "action (set)");
  if (action != "set") throw LineError("event: unknown action \"" + action + "\" (expected set)");
  const std::string &name = line.word(2, "event name");
  line.no_more_than(2);
  if (!world.set_named_event(name))
    warn(line, "no event named \"" + name + "\" exists at this time; nothing was set");
}

// "cpu sentrel present|absent|disabled": what CPUID says of the Sentrel crypto engine.
void cpu(winsim::World &world, const Line &line) {
  const std::string &unit = line.word(1, "processor feature (sentrel)");
  if (unit != "sentrel")
    throw LineError("cpu: unknown feature \"" + unit + "\" (expected sentrel)");
  const std::string &state = line.word(2, "engine state (present, absent, disabled)");
  line.no_more_than(2);
  if (state == "present")
    world.set_sentrel(winsim::SentrelEngine::Present);
  else if (state == "absent")
    world.set_sentrel(winsim::SentrelEngine::Absent);
  else if (state == "disabled")
    world.set_sentrel(winsim::SentrelEngine::Disabled);
  else
    throw LineError("cpu: unknown engine state \"" + state + "\" (present, absent or disabled)");
}

// "mutex <name>": another process of the logged-on user holds the named mutex.
void mutex(winsim::World &world, const Line &line) {
  const std::string &name = line.word(1, "mutex name");
  line.no_more_than(1);
  world.hold_named_mutex(name);
}

}  // namespace

void add_machine_verbs(Verbs &verbs) {
  verbs.add("seed", seed, "seed <n>");
  verbs.add("acp", acp, "acp <codepage>");
  verbs.add("clock", clock, "clock ticks <n>");
  verbs.add("event", event, "event set <name>");
  verbs.add("cpu", cpu, "cpu sentrel present|absent|disabled");
  verbs.add("mutex", mutex, "mutex \"<name>\"");
}

}  // namespace scenario
