#include "core/ObjectNames.h"

#include "core/Process.h"
#include "winsim/World.h"

namespace winsim {

unsigned session_of(const World &, const Process &process) {
  return process.session;
}

std::optional<std::string> object_path(const std::string &name, unsigned session) {
  const std::string global = "\\BaseNamedObjects\\";
  const std::string local =
      session == 0 ? global : "\\Sessions\\" + std::to_string(session) + "\\BaseNamedObjects\\";
  std::string folder = local;
  std::string rest = name;
  if (rest.rfind("Global\\", 0) == 0) {
    folder = global;
    rest = rest.substr(7);
  } else if (rest.rfind("Local\\", 0) == 0) {
    rest = rest.substr(6);
  }
  if (rest.find('\\') != std::string::npos) return std::nullopt;
  return folder + rest;
}

}  // namespace winsim
