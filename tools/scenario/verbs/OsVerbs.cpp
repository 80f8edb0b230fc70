#include "scenario/verbs/OsVerbs.h"

#include <string>

#include "winsim/SystemVersion.h"

namespace scenario {
namespace {

void os(winsim::World &world, const Line &line) {
  const std::string &what = line.word(1, "os setting (version)");
  if (what != "version") throw LineError("os: unknown setting \"" + what + "\" (version)");
  const std::string &text = line.word(2, "version (<major>.<minor>)");
  line.no_more_than(2);
  std::size_t dot = text.find('.');
  if (dot == std::string::npos)
    throw LineError("os version: expected <major>.<minor>, not \"" + text + "\"");
  auto release = winsim::SystemVersion::release(parse_u32(text.substr(0, dot), "major version"),
                                                parse_u32(text.substr(dot + 1), "minor version"));
  if (!release)
    throw LineError("os version: " + text +
                    " is no release winsim knows (5.2, 6.0, 6.1, 6.2, 6.3 or 10.0)");
  winsim::SystemVersion::of(world).set(*release);
}

}  // namespace

void add_os_verbs(Verbs &verbs) {
  verbs.add("os", os, "os version <major>.<minor>");
}

}  // namespace scenario
