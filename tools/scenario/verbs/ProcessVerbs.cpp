// run: starts a registered program as the host would with CreateProcess. The program's image
// is placed first at the path the command line names, so "run C:\Tools\wmic.exe /?" finds it
// there; a bare name ("run Quillet.exe -install") lands in C:\, the host's current folder.
#include <stdexcept>
#include <string>

#include "scenario/verbs/CoreVerbs.h"
#include "winsim/FileSystem.h"

namespace scenario {
namespace {

// The program path of a command line: its quoted first word, or everything up to the first
// blank.
std::string program_path(const std::string &command_line) {
  if (!command_line.empty() && command_line[0] == '"') {
    std::size_t close = command_line.find('"', 1);
    if (close == std::string::npos) throw LineError("run: the program path's quote is not closed");
    return command_line.substr(1, close - 1);
  }
  return command_line.substr(0, command_line.find_first_of(" \t"));
}

// Like CreateProcess, a program name without an extension means the .exe file.
std::string with_exe(const std::string &path) {
  std::string name = winsim::FileSystem::file_name(path);
  return name.find('.') == std::string::npos ? path + ".exe" : path;
}

void run(winsim::World &world, const Line &line) {
  line.word(1, "command line");
  std::string command_line = line.rest(1);
  std::string path = with_exe(program_path(command_line));
  auto full = winsim::FileSystem::resolve(path, "C:\\");
  if (!full || path.empty()) throw LineError("run: \"" + path + "\" is not a path on the machine");
  std::string image = winsim::FileSystem::file_name(*full);
  if (world.program(image) == nullptr)
    throw LineError("run: no program \"" + image + "\" is known to the simulator");
  world.place_program(*full, image);
  try {
    world.start(command_line);
  } catch (const winsim::RunStopped &) {
    throw;
  } catch (const std::runtime_error &e) {
    // A fault the scenario planted can refuse the start; the run goes on without the process.
    warn(line, e.what());
  }
}

}  // namespace

void add_process_verbs(Verbs &verbs) {
  verbs.add("run", run, "run <command line>");
}

}  // namespace scenario
