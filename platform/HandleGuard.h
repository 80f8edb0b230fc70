// Guards that own one Windows handle each and close it when they go out of scope, so that every
// path out of a function closes what it opened. Each kind of handle has its own closing call and
// its own value for "no handle": a guard never closes that value, so a failed open needs no
// check before the guard lets go of it.
#pragma once

#include "platform/win32.h"

template <typename Kind>
class HandleGuard {
 public:
  using Handle = typename Kind::Handle;

  HandleGuard() = default;
  explicit HandleGuard(Handle h) : m_h(h) {}
  ~HandleGuard() { Reset(); }
  HandleGuard(const HandleGuard &) = delete;
  HandleGuard &operator=(const HandleGuard &) = delete;

  // True while the guard owns an open handle.
  bool Holds() const { return Kind::IsOpen(m_h); }

  // Closes the handle owned, if any, and owns `h` instead.
  void Reset(Handle h = Kind::kNone) {
    Handle hOld = m_h;
    m_h = h;
    if (Kind::IsOpen(hOld)) Kind::Close(hOld);
  }

  // Gives the handle up without closing it; the caller owns it from now on.
  Handle Release() {
    Handle h = m_h;
    m_h = Kind::kNone;
    return h;
  }

  // Closes the handle owned, if any, and lends the guard's slot to a call that returns a new
  // handle through a pointer (RegOpenKeyEx, CreatePipe).
  Handle *Receive() {
    Reset();
    return &m_h;
  }

  operator Handle() const { return m_h; }

 private:
  Handle m_h = Kind::kNone;
};

namespace handle_kinds {

// Events, mutexes, threads, processes, pipes and files. CreateFile fails with
// INVALID_HANDLE_VALUE and the other calls with null; neither is closed (the former is also
// the pseudo handle of the current process, which needs no closing).
struct KernelObject {
  using Handle = HANDLE;
  static inline const Handle kNone = nullptr;
  static bool IsOpen(Handle h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
  static void Close(Handle h) { CloseHandle(h); }
};

// A file search from FindFirstFile, which fails with INVALID_HANDLE_VALUE.
struct FileSearch {
  using Handle = HANDLE;
  static inline const Handle kNone = INVALID_HANDLE_VALUE;
  static bool IsOpen(Handle h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
  static void Close(Handle h) { FindClose(h); }
};

// The service control manager and the services opened through it.
struct ServiceObject {
  using Handle = SC_HANDLE;
  static inline const Handle kNone = nullptr;
  static bool IsOpen(Handle h) { return h != nullptr; }
  static void Close(Handle h) { CloseServiceHandle(h); }
};

// A registry key the program opened or created (never one of the predefined roots).
struct RegistryKey {
  using Handle = HKEY;
  static inline const Handle kNone = nullptr;
  static bool IsOpen(Handle h) { return h != nullptr; }
  static void Close(Handle h) { RegCloseKey(h); }
};

// An event source from RegisterEventSource.
struct EventSource {
  using Handle = HANDLE;
  static inline const Handle kNone = nullptr;
  static bool IsOpen(Handle h) { return h != nullptr; }
  static void Close(Handle h) { DeregisterEventSource(h); }
};

}  // namespace handle_kinds

using KernelHandle = HandleGuard<handle_kinds::KernelObject>;
using FindHandle = HandleGuard<handle_kinds::FileSearch>;
using ScHandle = HandleGuard<handle_kinds::ServiceObject>;
using RegKey = HandleGuard<handle_kinds::RegistryKey>;
using EventSourceHandle = HandleGuard<handle_kinds::EventSource>;
