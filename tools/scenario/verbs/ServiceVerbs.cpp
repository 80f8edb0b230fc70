#include "scenario/verbs/ServiceVerbs.h"

#include <string>
#include <vector>

#include "platform/win32.h"
#include "scenario/CodeNames.h"
#include "winsim/Services.h"

namespace scenario {
namespace {

// Runs `action` on the named service through the service control manager from the host;
// returns 0 or the error of the first call that failed.
template <typename Action>
DWORD with_service(const std::string &name, DWORD access, Action action) {
  SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
  if (manager == nullptr) return GetLastError();
  DWORD error = 0;
  SC_HANDLE service = OpenServiceA(manager, name.c_str(), access);
  if (service == nullptr)
    error = GetLastError();
  else if (!action(service))
    error = GetLastError();
  if (service != nullptr) CloseServiceHandle(service);
  CloseServiceHandle(manager);
  return error;
}

void report(const Line &line, const char *what, const std::string &name, DWORD error) {
  if (error == 0) return;
  std::string_view error_text = error_name(error);
  warn(line, std::string(what) + " " + name + " failed with error " + std::to_string(error) +
                 (error_text.empty() ? "" : " (" + std::string(error_text) + ")"));
}

bool is_number(const std::string &word) {
  return !word.empty() && word[0] >= '0' && word[0] <= '9';
}

std::string unknown(const std::string &what, const std::string &word,
                    const std::vector<std::string_view> &known) {
  std::string_view meant = closest_name(word, known);
  return "sc control: unknown " + what + " \"" + word + "\" (" +
         (meant.empty() ? joined(known) + ", or a number"
                        : "did you mean " + std::string(meant) + "?") +
         ")";
}

// A control by its name (stop, paramchange, powerevent, ...) or its number.
std::uint32_t control_code(const std::string &word) {
  if (auto code = control_of_word(word)) return *code;
  if (!is_number(word)) throw LineError(unknown("control", word, control_words()));
  return parse_u32(word, "control code");
}

// The event type of a control: for a power event its name (suspend, resume, ...) or number.
std::uint32_t event_type(std::uint32_t control, const std::string &word) {
  if (control == SERVICE_CONTROL_POWEREVENT) {
    if (auto type = power_event_of_word(word)) return *type;
    if (!is_number(word)) throw LineError(unknown("power event", word, power_event_words()));
  }
  return parse_u32(word, "event type");
}

void sc(winsim::World &world, const Line &line) {
  const std::string &command = line.word(1, "sc command (start, stop, control or delete)");
  const std::string &name = line.word(2, "service name");
  if (command == "start") {
    if (line.words.size() > 3) throw LineError("sc start takes a service name only");
    report(line, "StartService", name, with_service(name, SERVICE_START, [](SC_HANDLE s) {
             return StartServiceA(s, 0, nullptr);
           }));
  } else if (command == "stop") {
    if (line.words.size() > 3) throw LineError("sc stop takes a service name only");
    // The result is in the trace's "svc.control" record.
    with_service(name, SERVICE_STOP, [](SC_HANDLE s) {
      SERVICE_STATUS status{};
      return ControlService(s, SERVICE_CONTROL_STOP, &status);
    });
  } else if (command == "control") {
    std::uint32_t code =
        control_code(line.word(3, "control (a name such as paramchange, or a code)"));
    std::uint32_t type = line.words.size() > 4 ? event_type(code, line.words[4]) : 0;
    if (line.words.size() > 5) throw LineError("sc control takes a name, a code and an event type");
    world.services().send(name, code, type);
  } else if (command == "delete") {
    if (line.words.size() > 3) throw LineError("sc delete takes a service name only");
    report(line, "DeleteService", name,
           with_service(name, DELETE, [](SC_HANDLE s) { return DeleteService(s); }));
  } else {
    throw LineError("sc: unknown command \"" + command + "\" (start, stop, control, delete)");
  }
}

std::uint32_t right_named(const std::string &right) {
  if (right == "connect") return SC_MANAGER_CONNECT;
  if (right == "create") return SC_MANAGER_CREATE_SERVICE;
  if (right == "enumerate") return SC_MANAGER_ENUMERATE_SERVICE;
  if (right == "lock") return SC_MANAGER_LOCK;
  return parse_u32(right, "right (connect, create, enumerate, lock or a number)");
}

void scm(winsim::World &world, const Line &line) {
  const std::string &command = line.word(1, "scm command (deny)");
  if (command != "deny") throw LineError("scm: unknown command \"" + command + "\" (deny)");
  if (line.words.size() != 3) throw LineError("scm deny takes one right");
  world.services().deny_rights(right_named(line.words[2]));
}

}  // namespace

void add_service_verbs(Verbs &verbs) {
  verbs.add("sc", sc,
            "sc start <name>\nsc stop <name>\nsc control <name> <control> [<eventType>]\n"
            "sc delete <name>");
  verbs.add("scm", scm, "scm deny <right>");
}

}  // namespace scenario
