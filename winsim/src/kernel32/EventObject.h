// An event: manual-reset events stay signalled until reset; auto-reset events release one
// waiter and reset themselves.
#pragma once

#include "core/Object.h"

namespace winsim {

class EventObject : public Object {
 public:
  EventObject(bool manual_reset, bool initial) : manual(manual_reset), set(initial) {}
  ObjectType type() const override { return ObjectType::Event; }
  std::string describe() const override {
    return name.empty() ? "event (unnamed)" : "event \"" + name + "\"";
  }
  bool waitable() const override { return true; }
  bool signalled(const SimThread &) const override { return set; }
  DWORD take(SimThread &) override {
    if (!manual) set = false;
    return 0;
  }

  bool manual;
  bool set;
};

}  // namespace winsim
