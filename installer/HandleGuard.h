// Closes a handle when it goes out of scope, on every path: service manager and service
// handles, kernel object handles.
#pragma once

#include "platform/win32.h"

template <typename Handle, BOOL(WINAPI *Close)(Handle)>
class HandleGuard {
 public:
  explicit HandleGuard(Handle h) : m_h(h) {}
  ~HandleGuard() {
    if (m_h != nullptr) Close(m_h);
  }
  HandleGuard(const HandleGuard &) = delete;
  HandleGuard &operator=(const HandleGuard &) = delete;

  operator Handle() const { return m_h; }

 private:
  Handle m_h;
};

using ScHandle = HandleGuard<SC_HANDLE, CloseServiceHandle>;
using KernelHandle = HandleGuard<HANDLE, CloseHandle>;
