// The control face of winsim: a simulated Windows machine that tests and the scenario runner
// build, drive and inspect.
//
// A World holds all machine state: registry, event log, file system and devices, named
// kernel objects, processes with their handle tables and threads, and the virtual clock.
// The thread that constructs the World becomes its host thread; control-face calls are made on
// it. Simulated threads run only while the host waits (run_for, wait_exit, or any blocking
// Win32 call the host makes), one at a time, and the clock moves only when every simulated
// thread is blocked. One World exists at a time.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <typeindex>
#include <vector>

#include "winsim/FaultPlan.h"
#include "winsim/RunStopped.h"
#include "winsim/Trace.h"

namespace winsim {

class Scheduler;
class Process;
class SimThread;
class Object;
class Registry;
class EventLog;
class FileSystem;
class Devices;
class CriticalSectionObject;
class Services;
class LoadedImage;
class EndedProcesses;

using ProgramEntry = int (*)();

// A program built as an image of its own (CMake: norvane_sim_program): a shared module whose
// `main` is the program's entry. Every process of it loads a private copy on its main thread
// before `main` runs, so its globals and statics, function-local ones included, are the
// process's own and start as in a fresh process; the copy is unloaded when the process ends.
struct ProgramImage {
  std::string path;  // the module file on the host
};

// Whether the processes of a program that lives in the host's image (registered by its entry
// function) may run side by side. Its globals are the host's, one copy for all of them: a
// second process while one runs stops the run, unless the program keeps no state of its own.
enum class HostImage { OneProcessAtATime, Stateless };

struct Program {
  ProgramEntry entry = nullptr;  // in the host's image; null for a program image
  HostImage host_image = HostImage::OneProcessAtATime;
  std::string image_path;  // the module of a program image
};

// The Sentrel crypto engine of the machine's processor, as CPUID reports it: there and enabled,
// not there (a processor family without its leaves), or there but disabled.
enum class SentrelEngine { Present, Absent, Disabled };

// How a process ended: its main returned (or its last thread ended), it called ExitProcess, or
// TerminateProcess ended it (called by itself, as a fail-fast end, or by another process).
enum class ExitPath { Returned, ExitProcess, Terminated };

struct StartOptions {
  std::string current_dir;  // empty: the host's current folder
  bool console = true;      // false: no console, output is lost (as for a service)
};

class World {
 public:
  World();
  ~World();
  World(const World &) = delete;
  World &operator=(const World &) = delete;

  // The world that exists now; aborts when there is none.
  static World &get();
  static World *find();

  // ---- Clock -----------------------------------------------------------------------------
  // Virtual milliseconds since the world started.
  std::uint64_t now() const;
  // The host waits while `ms` of virtual time pass; the simulated threads run meanwhile.
  void run_for(std::uint64_t ms);
  void run_until(std::uint64_t t);
  // Calendar of the virtual clock: the UTC time at virtual 0, the local time zone as minutes
  // east of UTC (no daylight saving), and the tick count at virtual 0.
  void set_start_time(std::int64_t unix_seconds);
  void set_timezone_bias(int minutes_east);
  void set_tick_base(std::uint32_t ticks);
  std::int64_t start_time() const { return start_unix_; }
  int timezone_bias() const { return tz_bias_minutes_; }
  std::uint32_t tick_base() const { return tick_base_; }

  // ---- Scheduling ------------------------------------------------------------------------
  // With a seed, emulated calls become random switch points, and what happens at one virtual
  // instant in an order Windows leaves open is picked at random: which ready thread runs next,
  // which waiter of an object is served first, whether a signal at the instant of a waiter's
  // time-out still reaches it. The seed explores interleavings and reproduces one exactly.
  // Without a seed the world keeps one fixed order. Either way the host sees the world only at
  // rest: run_for(60000) once finds what run_for(30000) twice finds.
  void set_seed(std::uint64_t seed);
  // Emulated calls the simulated threads may make while virtual time stands still and the
  // world does not come to rest (default 1 000 000) before they count as a busy loop.
  void set_busy_limit(std::uint64_t calls);

  // ---- Machine ---------------------------------------------------------------------------
  unsigned acp() const { return acp_; }
  void set_acp(unsigned codepage) { acp_ = codepage; }
  SentrelEngine sentrel() const { return sentrel_; }
  void set_sentrel(SentrelEngine engine) { sentrel_ = engine; }
  Registry &registry();
  EventLog &eventlog();
  FaultPlan &faults() { return faults_; }
  // The image name of a program image of the world that has a function of that name (as its
  // source writes it); empty when none has.
  std::string program_with_function(std::string_view name) const;
  Trace &trace() { return trace_; }
  FileSystem &files();
  Devices &devices();
  Services &services();
  // Folders searched for programs after the system folders, in order (the PATH variable).
  std::vector<std::string> &path() { return path_; }
  static constexpr const char *kWindowsDir = "C:\\Windows";
  static constexpr const char *kSystemDir = "C:\\Windows\\System32";

  // ---- Programs and processes --------------------------------------------------------------
  // Registers a program by the file name of its image, for example "wmic.exe": a program
  // image, or an entry function in the host's image.
  void add_program(const std::string &image_name, ProgramImage image);
  void add_program(const std::string &image_name, ProgramEntry entry,
                   HostImage host_image = HostImage::OneProcessAtATime);
  // Places the image file of a registered program at `path`.
  void place_program(const std::string &path, const std::string &image_name);
  // Starts a process as the host would with CreateProcess (search rules included); returns
  // its id. Throws std::runtime_error when the program cannot be started.
  std::uint32_t start(const std::string &command_line, const StartOptions &options = {});
  // Lets the world run until the process has ended or `timeout_ms` has passed; true if ended.
  bool wait_exit(std::uint32_t pid, std::optional<std::uint64_t> timeout_ms = std::nullopt);
  bool running(std::uint32_t pid) const;
  std::optional<std::uint32_t> exit_code(std::uint32_t pid) const;
  std::optional<ExitPath> exit_path(std::uint32_t pid) const;
  // What the process wrote to its console, in the world's code page.
  std::string console(std::uint32_t pid) const;
  // Handles the process holds now, or held when it ended: empty when nothing leaked.
  std::vector<std::string> open_handles(std::uint32_t pid) const;
  std::vector<std::uint32_t> processes() const;
  // What the programs owe back, one line each: handles a process still held when its main
  // returned (a process that ended by ExitProcess or was terminated is cleaned up by the
  // system, as on Windows), memory the system handed to a process (the host's included) and
  // COM objects it made for it, not given back. Empty when every program cleaned up after
  // itself.
  std::vector<std::string> left_behind() const;
  // Called with every world as it is destroyed, before anything of it goes: the test suites
  // fail a test whose world left something behind unless the test says it means to.
  static void set_end_check(void (*check)(World &));
  void expect_left_behind() { left_behind_expected_ = true; }
  bool left_behind_expected() const { return left_behind_expected_; }
  std::uint32_t host_pid() const { return host_pid_; }
  std::optional<std::uint32_t> find_process(const std::string &image_name) const;
  // What the host holds for the processes: copies of program images loaded now (one for each
  // process of a program image that has not ended: an ended process's copy is unloaded as it
  // ends, before its record goes), and simulated threads' records with their
  // stacks (the host's, those of processes that have not ended, and at most the last ended
  // ones, not freed yet). An ended process leaves nothing else but what the calls above report.
  std::size_t loaded_images() const;
  std::size_t thread_records() const;

  // ---- Parts kept outside winsim ------------------------------------------------------------
  // State of the stand-ins for outside libraries and tools (the board, the WMI tool, ...):
  // one object of each type per world, made on first use and destroyed with the world.
  template <typename T>
  T &part() {
    for (auto &[type, holder] : parts_)
      if (type == std::type_index(typeid(T))) return static_cast<PartHolder<T> &>(*holder).value;
    parts_.emplace_back(std::type_index(typeid(T)), std::make_unique<PartHolder<T>>());
    return static_cast<PartHolder<T> &>(*parts_.back().second).value;
  }

  // ---- Named kernel objects from outside ---------------------------------------------------
  // Another process opens the named event and sets it: a service when the name exists in
  // session 0 (the services' namespace), else a program of the logged-on user's session 1,
  // where the host runs. False when there is no such event.
  bool set_named_event(const std::string &name);
  // Another process of the logged-on user creates the named mutex (without owning it) and
  // holds its handle until the world ends.
  void hold_named_mutex(const std::string &name);

  // ---- Internals used by the emulated calls --------------------------------------------------
  Scheduler &scheduler() { return *scheduler_; }
  // A process that has not ended, or null.
  Process *process(std::uint32_t pid) const;
  // The processes that have not ended, the host's and the system's among them.
  std::vector<Process *> running_processes() const;
  Process &current_process() const;
  std::uint32_t next_id();
  std::shared_ptr<Object> find_named(const std::string &name) const;
  void add_named(const std::string &name, const std::shared_ptr<Object> &object);
  void forget_named(const Object &object);
  // The registered program of that name, or null.
  const Program *program(const std::string &image_name) const;
  // A process that runs `entry` in the host's image and has not ended, or null.
  Process *running_process_of(ProgramEntry entry) const;
  // Creates a process for an image already resolved; the caller provides handles to inherit.
  Process &create_process(const std::string &image, const std::string &command_line,
                          ProgramEntry entry, std::uint32_t parent);
  // Starts a thread in `process` running `body`; returns the thread.
  SimThread *create_thread(Process &process, std::function<std::uint32_t()> body, bool main);
  // Ends a process: its threads never run again, its handles close, its object is signalled;
  // its record is freed as soon as none of its threads runs (at once when another ends it).
  void end_process(Process &process, std::uint32_t code, ExitPath path);
  // Ends the current thread's part in its process with `code`. The process ends with the thread
  // when it was the last one, or when `ends_process` (a main function returned, and the C
  // runtime's exit ends the process).
  void end_thread(SimThread &thread, std::uint32_t code, bool ends_process);
  // Re-examines the waiters of `object` after its state changed.
  void signal(Object &object);
  // Called with every process that ends, after its handles are closed.
  void on_process_exit(std::function<void(Process &)> listener);
  // A process of the system itself (for example "services.exe", which starts services):
  // made on first use, never ends, not listed among the processes.
  Process &system_process(const std::string &image_name);
  // Adds a trace record for the calling thread at the current virtual time.
  void record(std::string_view kind, Trace::Record fields);
  // Lock state of the program's CRITICAL_SECTION records, by their address.
  std::shared_ptr<CriticalSectionObject> critical_section(const void *address) const;
  std::shared_ptr<CriticalSectionObject> init_critical_section(const void *address);
  void delete_critical_section(const void *address);

 private:
  void register_program(const std::string &image_name, Program program);
  void release_memory(Process &process);
  void free_ended();
  bool made_a_part(const LoadedImage &image) const;

  struct PartBase {
    virtual ~PartBase() = default;
  };
  template <typename T>
  struct PartHolder : PartBase {
    T value;
  };

  std::unique_ptr<Scheduler> scheduler_;
  // Processes that have not ended, by id; those that ended while one of their threads still
  // ran, until it has switched away; and what is kept of the ended ones.
  std::map<std::uint32_t, std::unique_ptr<Process>> processes_;
  std::vector<std::unique_ptr<Process>> ending_;
  std::unique_ptr<EndedProcesses> ended_;
  std::vector<std::pair<std::string, std::weak_ptr<Object>>> named_;
  std::vector<std::pair<std::string, Program>> programs_;
  struct CriticalSectionRecord {
    const void *address;
    std::uint32_t pid;  // the process whose memory holds it
    std::shared_ptr<CriticalSectionObject> lock;
  };
  std::vector<CriticalSectionRecord> critical_sections_;
  unsigned critical_section_serial_ = 0;
  std::unique_ptr<Registry> registry_;
  std::unique_ptr<EventLog> eventlog_;
  std::unique_ptr<FileSystem> files_;
  std::unique_ptr<Devices> devices_;
  // Listeners come before the parts that register themselves as listeners.
  std::vector<std::function<void(Process &)>> exit_listeners_;
  std::unique_ptr<Services> services_;
  FaultPlan faults_;
  Trace trace_;
  std::vector<std::string> path_;
  std::vector<std::shared_ptr<Object>> held_from_outside_;
  SentrelEngine sentrel_ = SentrelEngine::Present;
  unsigned acp_ = 932;
  std::int64_t start_unix_;
  int tz_bias_minutes_ = 540;
  std::uint32_t tick_base_ = 600000;
  std::uint32_t next_id_ = 4;
  std::uint32_t host_pid_ = 0;
  bool left_behind_expected_ = false;
  // Copies of program images of ended processes that made a part: the part's destructor is
  // their code, so they stay loaded until the parts are gone.
  std::vector<std::unique_ptr<LoadedImage>> images_of_parts_;
  std::vector<std::pair<std::type_index, std::unique_ptr<PartBase>>> parts_;
};

}  // namespace winsim
