#include "scenario/verbs/WindowVerbs.h"

#include <string>

#include "winsim/Desktop.h"

namespace scenario {
namespace {

void window(winsim::World &world, const Line &line) {
  const std::string &class_name = line.word(1, "window class");
  const std::string &title = line.word(2, "window title");
  bool hung = false;
  if (line.words.size() > 3) {
    if (line.words[3] != "hung")
      throw LineError("window: unknown setting \"" + line.words[3] + "\" (expected hung)");
    hung = true;
  }
  line.no_more_than(3);
  winsim::Desktop::of(world).open(class_name, title, hung);
}

}  // namespace

void add_window_verbs(Verbs &verbs) {
  verbs.add("window", window, "window <class> \"<title>\" [hung]");
}

}  // namespace scenario
