// A program image for the tests of process memory: "counter.exe <n> [exit|linger|wait|part]"
// counts n seconds in a global, one a second, prints what it saw and returns the count. With
// "exit" it ends through ExitProcess instead; with "linger" it leaves a thread blocked behind it;
// with "wait" a static constructor waits; with "part" it counts itself in a world part. A static
// object shows when the process's statics were made (in which process) and unmade.
// "counter.exe 0 events" creates events from three functions, for the fault rules that name the
// calling function, and prints which creations failed.
#include <cstdlib>
#include <cstring>

#include "Tally.h"
#include "platform/win32.h"
#include "winsim/World.h"

namespace {

int g_nCount = 0;

class Witness {
 public:
  Witness() : m_dwPid(GetCurrentProcessId()) {
    if (std::strstr(GetCommandLineA(), " wait") != nullptr) Sleep(1);
  }
  ~Witness() { printf("statics of %u destroyed\n", static_cast<unsigned>(m_dwPid)); }
  DWORD Pid() const { return m_dwPid; }

 private:
  DWORD m_dwPid;
};

Witness g_witness;

int NextCall() {
  static int s_nCalls = 0;
  return ++s_nCalls;
}

DWORD WINAPI BlockForever(LPVOID) {
  Sleep(INFINITE);
  return 0;
}

struct Signals {
  static HANDLE Make() { return CreateEventA(nullptr, TRUE, FALSE, nullptr); }
};

HANDLE MakeInLambda() {
  auto make = [] { return CreateEventA(nullptr, TRUE, FALSE, nullptr); };
  return make();
}

void Report(const char *pszWhere, HANDLE hEvent) {
  if (hEvent == nullptr) printf("%s failed %u\n", pszWhere, static_cast<unsigned>(GetLastError()));
  if (hEvent != nullptr) CloseHandle(hEvent);
}

void MakeEvents() {
  for (int i = 0; i < 3; ++i) Report("Signals::Make", Signals::Make());
  Report("MakeInLambda", MakeInLambda());
  Report("MakeEvents", CreateEventA(nullptr, TRUE, FALSE, nullptr));
}

}  // namespace

int main(int argc, char **argv) {
  int nSeconds = argc > 1 ? std::atoi(argv[1]) : 1;
  const char *pszMode = argc > 2 ? argv[2] : "";
  if (std::strcmp(pszMode, "events") == 0) {
    MakeEvents();
    return 0;
  }
  for (int i = 0; i < nSeconds; ++i) {
    ++g_nCount;
    NextCall();
    Sleep(1000);
  }
  printf("pid %u made its statics in %u and counted %d in %d calls\n",
         static_cast<unsigned>(GetCurrentProcessId()), static_cast<unsigned>(g_witness.Pid()),
         g_nCount, NextCall() - 1);
  if (std::strcmp(pszMode, "exit") == 0) ExitProcess(static_cast<UINT>(g_nCount));
  if (std::strcmp(pszMode, "part") == 0)
    ++winsim::World::get().part<counter_test::Tally>().processes;
  if (std::strcmp(pszMode, "linger") == 0)
    CloseHandle(CreateThread(nullptr, 0, BlockForever, nullptr, 0, nullptr));
  return g_nCount;
}
