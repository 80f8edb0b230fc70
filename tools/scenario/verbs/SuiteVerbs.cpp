#include "scenario/verbs/SuiteVerbs.h"

#include <string>

#include "yarrow/sim/YarrowStandIn.h"

namespace scenario {
namespace {

std::uint32_t number(const Line &line, const char *what) {
  std::uint32_t value = parse_u32(line.word(2, what), what);
  line.no_more_than(2);
  return value;
}

void suite(winsim::World &world, const Line &line) {
  standin::YarrowSettings &settings = world.part<standin::YarrowSettings>();
  const std::string &setting = line.word(1, "suite setting");
  if (setting == "install-exit") {
    settings.install_exit = number(line, "exit code");
  } else if (setting == "switch-hang") {
    line.no_more_than(1);
    settings.switch_hang = true;
  } else if (setting == "start-pending") {
    settings.start_pending_s = number(line, "seconds");
  } else if (setting == "stop-pending") {
    settings.stop_pending_s = number(line, "seconds");
  } else if (setting == "stop-stuck") {
    line.no_more_than(1);
    settings.stop_stuck = true;
  } else if (setting == "stop-refuse") {
    settings.stop_refuse = number(line, "error code");
  } else if (setting == "wait-hint") {
    settings.wait_hint_ms = number(line, "wait hint in ms");
  } else if (setting == "exit-after-start") {
    line.no_more_than(1);
    settings.exit_after_start = true;
  } else if (setting == "stop-dialog") {
    settings.stop_dialog_s = line.words.size() > 2 ? number(line, "seconds") : 0;
  } else {
    throw LineError(
        "suite: unknown setting \"" + setting +
        "\" (install-exit, switch-hang, start-pending, stop-pending, stop-stuck, stop-refuse, "
        "wait-hint, exit-after-start or stop-dialog)");
  }
}

}  // namespace

void add_suite_verbs(Verbs &verbs) {
  verbs.add("suite", suite,
            "suite install-exit <code>\nsuite switch-hang\nsuite start-pending <seconds>\n"
            "suite stop-pending <seconds>\nsuite stop-stuck\nsuite stop-refuse <error>\n"
            "suite wait-hint <ms>\nsuite exit-after-start\nsuite stop-dialog [<seconds>]");
}

}  // namespace scenario
