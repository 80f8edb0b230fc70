// Support for winsim's conformance tests. Each test is written once and runs twice: natively
// against winsim, and cross-built with MinGW under Wine, whose behaviour is the reference. This
// header and Conformance.cpp are the only places that know there are two worlds; the tests
// themselves call Win32 and the small functions below.
#pragma once

// GoogleTest before the platform header: winsim routes printf and friends through macros.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "platform/win32.h"

#if !defined(_WIN32)
#include "winsim/World.h"
#endif

namespace conformance {

using WString = std::basic_string<WCHAR>;

// Set as the last error before a call, to see whether the call changed it.
constexpr DWORD kMarker = 0xdeadbeef;

// What a call gave: whether it succeeded, and the last error after it. Try sets the marker as
// the last error first, so a call that leaves the error alone gives kMarker.
using Outcome = std::pair<bool, DWORD>;
template <typename Call>
Outcome Try(Call call) {
  SetLastError(kMarker);
  const bool succeeded = static_cast<bool>(call());
  return {succeeded, GetLastError()};
}
inline Outcome Failed(DWORD error) {
  return {false, error};
}
inline Outcome Succeeded(DWORD error = kMarker) {
  return {true, error};
}

// The fixture of every conformance test. Natively it builds a fresh winsim world whose host
// thread is the test's own thread, so the test body calls Win32 directly as the host process;
// under Wine the test runs in the test executable itself.
class Fixture : public ::testing::Test {
#if !defined(_WIN32)
 protected:
  Fixture();

  winsim::World world;
#endif
};

// The program the tests start as a child: ChildMain runs in it (see Conformance.cpp). Under
// Wine it is this executable; in winsim a registered program placed as an image file.
WString ChildImage();
// Puts a copy of the child program's image at `path` (the folder must exist).
bool PlaceChildImage(const WString &path);
// The folder under which tests make their scratch folders.
WString TempRoot();
// The command line that starts the child program at `image` in `mode` with `arguments`.
WString ChildCommandLine(const WString &mode, const WString &arguments = WString(),
                         const WString &image = ChildImage());

// True when the Windows build runs under Wine. Where Wine is known to differ from Windows and
// winsim follows Windows, a test asserts the Windows behaviour only when this is false; each
// such place says what differs and where Windows documents it.
bool UnderWine();

// An entry of the Application event log: its source, type, id and strings as reported.
struct LoggedEvent {
  std::string source;
  WORD type;
  DWORD id;
  std::vector<std::string> strings;
  bool operator==(const LoggedEvent &) const = default;
};
// The entries reported since the test began, oldest first. Wine's event log keeps nothing (its
// reporting functions only accept the call), so under Wine the list is always empty.
std::vector<LoggedEvent> LoggedEvents();

// The description the service manager keeps for a service; empty when it has none.
std::string ServiceDescription(SC_HANDLE service, const std::string &name);

// The child program's entry: "<image> --child <mode> <arguments...>".
int ChildMain();
// Named events of the child's service mode, created by the test: the service reports STOPPED
// once the first is set, and sets the second when a control other than stop or interrogate
// reaches its handler.
constexpr const char *kServiceFinishEvent = "Global\\NorvaneConformanceFinish";
constexpr const char *kServiceReachedEvent = "Global\\NorvaneConformanceReached";

// Runs a command line as a child process whose standard output and error are one pipe, in
// `current_dir` (empty: the caller's), with the environment block and creation flags given.
// Returns the exit code and fills `output` with what the child wrote; returns -1 when
// CreateProcessW fails (its error stays the last error).
long RunCaptured(const WString &command_line, const WString &current_dir, std::string *output,
                 const void *environment = nullptr, DWORD creation_flags = 0);

// Waits for a thread to end, closes its handle and returns its exit code.
DWORD JoinThread(HANDLE thread);

// Reads a pipe until it breaks.
std::string ReadToEnd(HANDLE read_end);

// Text helpers built on the code-page functions (tests assert those separately).
std::string Narrow(const WString &text);
WString Widen(const std::string &text);
std::string Lower(std::string text);

// Files and folders a test makes under the temporary folder, removed again in reverse order
// when the test ends. Folders outside the scratch root (the system folder) can hold files
// too; they are removed the same way, and a file the test removed itself is no harm.
class Scratch {
 public:
  // Makes <temp root>\<name>.
  explicit Scratch(const WString &name) : root_(TempRoot() + name) {
    CreateDirectoryW(root_.c_str(), nullptr);
    folders_.push_back(root_);
  }
  ~Scratch() {
    for (auto it = files_.rbegin(); it != files_.rend(); ++it) DeleteFileW(it->c_str());
    for (auto it = folders_.rbegin(); it != folders_.rend(); ++it) RemoveDirectoryW(it->c_str());
  }
  Scratch(const Scratch &) = delete;
  Scratch &operator=(const Scratch &) = delete;

  const WString &root() const { return root_; }
  // Makes the folder <root>\<relative> and returns its full path.
  WString folder(const WString &relative) {
    folders_.push_back(root_ + TEXT("\\") + relative);
    CreateDirectoryW(folders_.back().c_str(), nullptr);
    return folders_.back();
  }
  // Places a copy of the child program at `path` (full) and returns the path.
  WString child_image(const WString &path) {
    if (PlaceChildImage(path)) files_.push_back(path);
    return path;
  }

 private:
  WString root_;
  std::vector<WString> folders_;
  std::vector<WString> files_;
};

}  // namespace conformance
