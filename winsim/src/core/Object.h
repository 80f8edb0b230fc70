// Base of every object a handle can refer to. Waitable objects keep the list of threads that
// wait on them, in arrival order.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "winsim/win32/types.h"

namespace winsim {

class SimThread;
struct WaitBlock;

enum class ObjectType {
  Event,
  Mutex,
  CriticalSection,
  Thread,
  Process,
  PipeEnd,
  File,
  Device,
  Console,
  Key,
  EventSource,
  ScManager,
  Service,
  DeviceNotify,
  FindSearch,
};

class Object : public std::enable_shared_from_this<Object> {
 public:
  virtual ~Object() = default;
  virtual ObjectType type() const = 0;
  // How reports and leak lists name the object, for example: event "StopEvent".
  virtual std::string describe() const = 0;

  // Waiting. A waitable object answers whether `thread` may take it now, and `take` does the
  // taking (an auto-reset event resets, a mutex gets its owner). `take` returns WAIT_ABANDONED
  // when it hands over an abandoned mutex, else WAIT_OBJECT_0.
  virtual bool waitable() const { return false; }
  virtual bool signalled(const SimThread &) const { return false; }
  virtual DWORD take(SimThread &) { return 0; }

  // Called when the last handle to the object has been closed.
  virtual void last_handle_closed() {}

  std::vector<WaitBlock *> waiters;
  int handles = 0;
  std::string name;  // name in the kernel object namespace (UTF-8), empty when unnamed
};

// One thread's wait on one or more objects.
struct WaitBlock {
  SimThread *thread = nullptr;
  std::vector<std::shared_ptr<Object>> objects;
  bool all = false;
};

}  // namespace winsim
