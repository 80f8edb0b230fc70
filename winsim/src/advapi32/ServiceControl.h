// What the parts of the service control manager share: its database (ServiceDatabase.cpp), its
// API (ServiceManager.cpp) and the dispatcher of a service process (ServiceDispatcher.cpp).
#pragma once

#include <memory>
#include <string>

#include "core/Call.h"
#include "winsim/Services.h"

namespace winsim {

// An event object, not signalled, reset by hand or by a wait.
std::shared_ptr<Object> new_event(bool manual);
// Signals an event made by new_event.
void set_event(World &world, const std::shared_ptr<Object> &event);

// Traces a control sent to a service (`svc.control`) with its result.
void record_control(World &world, const std::string &name, DWORD control, DWORD event_type,
                    DWORD result);
// Queues a control for the service's dispatcher and waits for its handler's answer.
DWORD deliver(Call &call, Services::Record &record, DWORD control, DWORD event_type);
// Whether the service's accepted-controls mask lets the code through.
bool accepted(DWORD controls, DWORD control);

}  // namespace winsim
