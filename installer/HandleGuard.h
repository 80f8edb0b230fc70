// Closes a handle when it goes out of scope, on every path: service manager and service
// handles, kernel object handles.
#pragma once

#include "platform/win32.h"

template <typename Handle, BOOL(WINAPI *Close)(Handle)>
class HandleGuard {
 public:
  explicit HandleGuard(Handle h = nullptr) : m_h(h) {}
  ~HandleGuard() { Reset(nullptr); }
  HandleGuard(const HandleGuard &) = delete;
  HandleGuard &operator=(const HandleGuard &) = delete;

  // Closes the handle held, if any, and holds `h` instead.
  void Reset(Handle h) {
    if (m_h != nullptr) Close(m_h);
    m_h = h;
  }

  operator Handle() const { return m_h; }

 private:
  Handle m_h;
};

using ScHandle = HandleGuard<SC_HANDLE, CloseServiceHandle>;
using KernelHandle = HandleGuard<HANDLE, CloseHandle>;
