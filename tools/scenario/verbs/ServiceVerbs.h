// The scenario verbs of the service control manager:
//   sc start <name>                       StartService, as "net start" does
//   sc stop <name>                        ControlService with the stop control
//   sc control <name> <code> [<eventType>] a control as the system sends it (any code,
//                                          device and power events with their event type)
//   sc delete <name>                      DeleteService
//   scm deny <right>                      OpenSCManager refuses the right: connect, create,
//                                          enumerate, lock, or a number
#pragma once

#include "scenario/Verbs.h"

namespace scenario {

void add_service_verbs(Verbs &verbs);

}  // namespace scenario
