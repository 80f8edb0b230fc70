// The stand-in for the suite's service program Yarrow.exe, in both forms: the simulated one, a
// program of the world whose behaviour is a part of the world (sim/YarrowStandIn.h), and a small
// Windows program whose behaviour comes from registry values (windows/YarrowWindows.cpp).
//
// " -install" registers the own-process, demand-start service "QORAService" with the program's
// own quoted path and exits 0 (also when the service exists); " -remove" deletes it. Started by
// the service control manager it is a real service that accepts stop and shutdown. What it does
// at start and stop follows the settings below, read each time they are used.
#pragma once

#include <optional>

#include "platform/win32.h"

namespace standin {

constexpr const char *kYarrowServiceName = "QORAService";

struct YarrowSettings {
  DWORD install_exit = 0;         // exit code of " -install"; nonzero: nothing is registered
  bool switch_hang = false;       // " -install" and " -remove" never end
  DWORD start_pending_s = 0;      // START_PENDING this long, the check point growing each second
  DWORD stop_pending_s = 0;       // STOP_PENDING this long after a stop request, likewise
  bool stop_stuck = false;        // STOP_PENDING for ever after a stop request
  DWORD stop_refuse = 0;          // nonzero: a stop request is refused with this error
  DWORD wait_hint_ms = 3000;      // the wait hint of every pending report
  bool exit_after_start = false;  // stops again right after reporting RUNNING
  // A "#32770" dialog titled "Microsoft Windows" shows this long into a stop.
  std::optional<DWORD> stop_dialog_s;
};

// The program's entry: the switches or, started by the service control manager, the service.
int YarrowMain();

// Provided by each form: the current settings, and the dialog a stop shows (the Windows form
// keeps it on the calling thread until it is closed).
YarrowSettings ReadYarrowSettings();
void ShowStopDialog();

}  // namespace standin
