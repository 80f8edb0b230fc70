// What a run of a scenario must still satisfy when a call of a program fails: watched on the
// trace as the run goes, and judged at its end.
//
// - every process that ended by its own normal path (its main returned; a service returns from
//   main once it has stopped) had closed every handle it opened: only the fatal path may leave
//   its clean-up to Windows;
// - a service asked to stop reports SERVICE_STOPPED within 30 s of virtual time, or its process
//   ends through its fatal path after writing its error event;
// - the installer never reports a success over a job left undone: an Install or Update that
//   exits 0 has every required file of its table (and the driver) in place, none of them marked
//   for deletion at the next restart by that run; and an Update never loses the suite's
//   resource file (it exists at its end wherever it existed at its start).
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "winsim/FaultPlan.h"
#include "winsim/TraceSink.h"
#include "winsim/World.h"

namespace sweep {

// Whether the image is one of the system's own programs (not a stand-in for what is outside it).
bool is_system_program(const std::string &image_name);
// Whether the sweeps fail calls of the site: calls of the system's programs, but not those that
// give something back (a handle, a registration, memory, COM), which Windows does not fail for a
// valid argument and after which a program could do nothing but go on.
bool is_swept(const winsim::CallSite &site);

class RunChecks : public winsim::TraceSink {
 public:
  // Attaches itself to the world's trace.
  explicit RunChecks(winsim::World &world);

  void take(const Record &record) override;

  // The checks the run has broken, one short text each; judged now (stops asked for less than
  // 30 s ago are not judged yet).
  std::vector<std::string> broken() const;

  static constexpr std::uint64_t kStopLimitMs = 30000;

 private:
  struct Installer {
    std::string mode;              // Install, Remove, Update
    bool had_resource = false;     // a resource file existed when it started
    std::set<std::string> marked;  // files it marked for deletion at the next restart
  };
  struct StopRequest {
    std::string service;
    std::uint64_t at = 0;
    std::uint32_t pid = 0;  // the service's process when it was asked
  };

  void installer_started(std::uint32_t pid, const std::string &command_line);
  void installer_ended(std::uint32_t pid, std::uint32_t code);
  void process_ended(std::uint32_t pid, std::uint64_t t);
  bool any_resource() const;

  winsim::World &world_;
  std::map<std::uint32_t, Installer> installers_;
  std::set<std::uint32_t> programs_;  // processes of the system's programs
  std::set<std::uint32_t> wrote_error_event_;
  std::vector<StopRequest> stops_;
  bool last_end_fatal_ = false;  // the process that ended last did so through its fatal path
  std::vector<std::string> broken_;
};

}  // namespace sweep
