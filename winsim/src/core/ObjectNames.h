// Names of kernel objects (events, mutexes) in the object namespace. Each logon session has its
// own folder of names: "X" and "Local\X" name an object in the caller's session, "Global\X" in
// the global folder. Session 0, where the system's processes and the services run, has no
// folder of its own: its local names are the global ones. Names are compared with case.
#pragma once

#include <optional>
#include <string>

namespace winsim {

class World;
class Process;

// 0 for the system's processes, the services and everything they start; 1 (the logged-on
// user's session) for every other process, the host among them.
unsigned session_of(const World &world, const Process &process);

// The object's full path in the namespace, for example "\BaseNamedObjects\NasCallEvent" or
// "\Sessions\1\BaseNamedObjects\Work"; nothing when the name goes through a folder that does
// not exist ("Other\X").
std::optional<std::string> object_path(const std::string &name, unsigned session);

}  // namespace winsim
