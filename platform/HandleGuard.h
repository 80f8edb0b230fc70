// Owners of Windows handles. A guard closes its handle when it goes out of scope, on every path,
// with the function that closes that kind of handle; a guard that holds nothing (null, or
// INVALID_HANDLE_VALUE where that marks a failed open) closes nothing. Guards that live in the
// same scope close in the reverse order of their declaration.
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

  // Closes the handle held, if any, and holds `h` instead.
  void Reset(Handle h = Kind::Empty()) {
    if (Kind::Holds(m_h)) Kind::Close(m_h);
    m_h = h;
  }
  // Gives the handle up without closing it.
  Handle Release() {
    Handle h = m_h;
    m_h = Kind::Empty();
    return h;
  }
  // For a call that hands out a handle through a pointer: closes what is held first.
  Handle *Receive() {
    Reset();
    return &m_h;
  }
  bool Holds() const { return Kind::Holds(m_h); }
  operator Handle() const { return m_h; }

 private:
  Handle m_h = Kind::Empty();
};

namespace handle_kinds {

// Kernel objects (threads, processes, events, mutexes, pipes, files, devices). CreateFile's
// failure is INVALID_HANDLE_VALUE, the other functions' null.
struct Kernel {
  using Handle = HANDLE;
  static Handle Empty() { return nullptr; }
  static bool Holds(Handle h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
  static void Close(Handle h) { CloseHandle(h); }
};

// A file search of FindFirstFile, which fails with INVALID_HANDLE_VALUE.
struct Find {
  using Handle = HANDLE;
  static Handle Empty() { return INVALID_HANDLE_VALUE; }
  static bool Holds(Handle h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
  static void Close(Handle h) { FindClose(h); }
};

// The service control manager and the services opened through it.
struct Service {
  using Handle = SC_HANDLE;
  static Handle Empty() { return nullptr; }
  static bool Holds(Handle h) { return h != nullptr; }
  static void Close(Handle h) { CloseServiceHandle(h); }
};

// An open registry key.
struct Key {
  using Handle = HKEY;
  static Handle Empty() { return nullptr; }
  static bool Holds(Handle h) { return h != nullptr; }
  static void Close(Handle h) { RegCloseKey(h); }
};

// An event source of the event log.
struct EventSource {
  using Handle = HANDLE;
  static Handle Empty() { return nullptr; }
  static bool Holds(Handle h) { return h != nullptr; }
  static void Close(Handle h) { DeregisterEventSource(h); }
};

}  // namespace handle_kinds

using KernelHandle = HandleGuard<handle_kinds::Kernel>;
using FindHandle = HandleGuard<handle_kinds::Find>;
using ScHandle = HandleGuard<handle_kinds::Service>;
using RegKey = HandleGuard<handle_kinds::Key>;
using EventSourceHandle = HandleGuard<handle_kinds::EventSource>;
