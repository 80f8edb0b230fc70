#include "winsim/World.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <stdexcept>

#include "core/Call.h"
#include "core/EndedProcesses.h"
#include "core/ImageSymbols.h"
#include "core/ObjectNames.h"
#include "core/Process.h"
#include "core/Scheduler.h"
#include "core/ThreadObject.h"
#include "crt/Crt.h"
#include "devices/BeepDevice.h"
#include "kernel32/ConsoleObject.h"
#include "kernel32/CriticalSectionObject.h"
#include "kernel32/EventObject.h"
#include "kernel32/MutexObject.h"
#include "winsim/Devices.h"
#include "winsim/EventLog.h"
#include "winsim/FileSystem.h"
#include "winsim/Registry.h"
#include "winsim/Services.h"
#include "winsim/Text.h"
#include "winsim/win32.h"

namespace winsim {

void cancel_wait_of(SimThread *thread);

namespace {
World *g_world = nullptr;

// 2026-01-05 00:00:00 UTC, a Monday: 09:00 in the appliance's time zone (UTC+9).
constexpr std::int64_t kDefaultStart = 1767571200;
}  // namespace

std::string Process::image_name() const {
  return FileSystem::file_name(image);
}

World::World()
    : scheduler_(std::make_unique<Scheduler>()),
      ended_(std::make_unique<EndedProcesses>()),
      registry_(std::make_unique<Registry>()),
      eventlog_(std::make_unique<EventLog>()),
      files_(std::make_unique<FileSystem>()),
      devices_(std::make_unique<Devices>()),
      services_(std::make_unique<Services>(*this)),
      start_unix_(kDefaultStart) {
  if (g_world != nullptr) {
    std::fprintf(stderr, "winsim: a second World was created while one exists\n");
    std::abort();
  }
  g_world = this;
  scheduler_->cancel_wait = &cancel_wait_of;
  faults_.set_function_names(
      [this](std::string_view name) { return !program_with_function(name).empty(); });
  watch_uncaught_exceptions();
  // A census of the call sites: with WINSIM_SITES naming a file, every world adds to it the
  // sites its programs reached and how many of their calls a fault made fail (sweep --census).
  if (std::getenv("WINSIM_SITES") != nullptr) faults_.record_sites(true);
  devices_->add(BeepDevice::kName, std::make_shared<BeepDevice>());

  auto host = std::make_unique<Process>();
  host->pid = next_id();
  host->image = "C:\\host.exe";
  host->command_line = "host.exe";
  host->current_dir = "C:\\";
  host->object = std::make_shared<ProcessObject>(host.get(), host->pid, host->image_name());
  host_pid_ = host->pid;
  std::uint32_t tid = next_id();
  SimThread *t = scheduler_->attach_host(
      host.get(), tid, "pid " + std::to_string(host->pid) + " (host) tid " + std::to_string(tid));
  t->object = std::make_shared<ThreadObject>();
  t->object->tid = tid;
  t->main_thread = true;
  host->threads.push_back(t);
  auto console = std::make_shared<ConsoleObject>();
  for (int i = 0; i < 3; ++i)
    host->std_handles[i] = host->handles.insert(console, 0xC0000000, true, true);
  processes_.emplace(host_pid_, std::move(host));
}

namespace {

void (*g_end_check)(World &) = nullptr;

// Appends the sites, one line each ("program, call, caller, reached, failed", tab-separated), in
// one write, so that the worlds of tests running side by side do not mix their lines.
void append_sites(const char *path, const std::map<CallSite, SiteCount> &sites) {
  std::string text;
  for (const auto &[site, count] : sites)
    text += site.program + '\t' + site.call + '\t' + site.caller + '\t' +
            std::to_string(count.reached) + '\t' + std::to_string(count.failed) + '\n';
  if (text.empty()) return;
  int fd = ::open(path, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) return;
  if (::write(fd, text.data(), text.size()) != static_cast<ssize_t>(text.size()))
    std::fprintf(stderr, "winsim: could not add the call sites to %s\n", path);
  ::close(fd);
}

}  // namespace

World::~World() {
  if (g_end_check != nullptr) g_end_check(*this);
  if (const char *path = std::getenv("WINSIM_SITES")) append_sites(path, faults_.sites());
  scheduler_.reset();
  g_world = nullptr;
}

std::string World::program_with_function(std::string_view name) const {
  for (const auto &[image_name, program] : programs_)
    if (!program.image_path.empty() && ImageSymbols::of(program.image_path).knows(name))
      return image_name;
  return {};
}

World &World::get() {
  if (g_world == nullptr) {
    std::fprintf(stderr, "winsim: no world exists\n");
    std::abort();
  }
  return *g_world;
}

World *World::find() {
  return g_world;
}

std::uint64_t World::now() const {
  return scheduler_->now();
}

void World::run_for(std::uint64_t ms) {
  run_until(now() + ms);
}

void World::run_until(std::uint64_t t) {
  if (scheduler_->current() != scheduler_->host()) {
    std::fprintf(stderr, "winsim: run_until called from a simulated thread\n");
    std::abort();
  }
  scheduler_->check_stop();
  free_ended();
  if (t <= now()) {
    // Let every thread that can run do so without moving the clock.
    scheduler_->block("World::run_until", now());
    return;
  }
  scheduler_->block("World::run_until", t);
}

void World::set_start_time(std::int64_t unix_seconds) {
  start_unix_ = unix_seconds;
}
void World::set_timezone_bias(int minutes_east) {
  tz_bias_minutes_ = minutes_east;
}
void World::set_tick_base(std::uint32_t ticks) {
  tick_base_ = ticks;
}
void World::set_seed(std::uint64_t seed) {
  scheduler_->set_seed(seed);
}
void World::set_busy_limit(std::uint64_t calls) {
  scheduler_->set_busy_limit(calls);
}

Registry &World::registry() {
  return *registry_;
}
EventLog &World::eventlog() {
  return *eventlog_;
}
FileSystem &World::files() {
  return *files_;
}
Devices &World::devices() {
  return *devices_;
}
Services &World::services() {
  return *services_;
}

void World::on_process_exit(std::function<void(Process &)> listener) {
  exit_listeners_.push_back(std::move(listener));
}

Process &World::system_process(const std::string &image_name) {
  for (const auto &[pid, p] : processes_)
    if (p->system && equal_nocase(p->image_name(), image_name)) return *p;
  auto p = std::make_unique<Process>();
  p->pid = next_id();
  p->image = std::string(kSystemDir) + "\\" + image_name;
  p->command_line = image_name;
  p->current_dir = kSystemDir;
  p->system = true;
  p->session = 0;
  p->object = std::make_shared<ProcessObject>(p.get(), p->pid, p->image_name());
  Process &ref = *p;
  processes_.emplace(ref.pid, std::move(p));
  return ref;
}

void World::add_program(const std::string &image_name, ProgramImage image) {
  if (access(image.path.c_str(), R_OK) != 0)
    throw std::runtime_error("winsim: the image of " + image_name + " is not at " + image.path);
  Program program;
  program.image_path = std::move(image.path);
  register_program(image_name, std::move(program));
}

void World::add_program(const std::string &image_name, ProgramEntry entry, HostImage host_image) {
  Program program;
  program.entry = entry;
  program.host_image = host_image;
  register_program(image_name, std::move(program));
}

void World::register_program(const std::string &image_name, Program program) {
  for (auto &[name, p] : programs_)
    if (equal_nocase(name, image_name)) {
      p = std::move(program);
      return;
    }
  programs_.emplace_back(image_name, std::move(program));
}

void World::place_program(const std::string &path, const std::string &image_name) {
  files_->add_program(path, image_name);
}

const Program *World::program(const std::string &image_name) const {
  for (const auto &[name, program] : programs_)
    if (equal_nocase(name, image_name)) return &program;
  return nullptr;
}

Process *World::running_process_of(ProgramEntry entry) const {
  for (const auto &[pid, p] : processes_)
    if (p->entry == entry && !p->ended && !p->system) return p.get();
  return nullptr;
}

std::uint32_t World::start(const std::string &command_line, const StartOptions &options) {
  std::u16string line = utf8_to_utf16(command_line);
  std::u16string dir = utf8_to_utf16(options.current_dir);
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  DWORD flags = options.console ? 0 : DETACHED_PROCESS;
  if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, flags, nullptr,
                      options.current_dir.empty() ? nullptr : dir.c_str(), &si, &pi)) {
    throw std::runtime_error("winsim: cannot start \"" + command_line + "\": error " +
                             std::to_string(GetLastError()));
  }
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  return pi.dwProcessId;
}

Process *World::process(std::uint32_t pid) const {
  auto it = processes_.find(pid);
  return it == processes_.end() ? nullptr : it->second.get();
}

std::vector<Process *> World::running_processes() const {
  std::vector<Process *> out;
  for (const auto &[pid, p] : processes_) out.push_back(p.get());
  return out;
}

Process &World::current_process() const {
  return *scheduler_->current()->process;
}

bool World::wait_exit(std::uint32_t pid, std::optional<std::uint64_t> timeout_ms) {
  Process *p = process(pid);
  if (p == nullptr && !ended_->contains(pid))
    throw std::runtime_error("winsim: no process " + std::to_string(pid));
  Call call("World::wait_exit");
  if (p == nullptr) return true;
  DWORD ms = timeout_ms ? static_cast<DWORD>(*timeout_ms) : INFINITE;
  std::shared_ptr<Object> object = p->object;
  return wait_objects(call, {object}, false, ms,
                      "World::wait_exit(" + object->describe() + ", " + timeout_text(ms) + ")") ==
         WAIT_OBJECT_0;
}

bool World::running(std::uint32_t pid) const {
  return process(pid) != nullptr;
}

std::optional<std::uint32_t> World::exit_code(std::uint32_t pid) const {
  return ended_->exit_code(pid);
}

std::optional<ExitPath> World::exit_path(std::uint32_t pid) const {
  // A process's exit listeners already see how it is ending.
  if (Process *p = process(pid); p != nullptr)
    return p->ended ? p->exit_path : std::optional<ExitPath>();
  return ended_->exit_path(pid);
}

std::string World::console(std::uint32_t pid) const {
  Process *p = process(pid);
  return p != nullptr ? p->console : ended_->console(pid);
}

std::vector<std::string> World::open_handles(std::uint32_t pid) const {
  Process *p = process(pid);
  return p != nullptr ? p->handles.describe_open() : ended_->open_handles(pid);
}

void World::set_end_check(void (*check)(World &)) {
  g_end_check = check;
}

namespace {

std::string process_text(std::uint32_t pid, const std::string &image_name) {
  return "pid " + std::to_string(pid) + " (" + image_name + ")";
}

}  // namespace

std::vector<std::string> World::left_behind() const {
  std::vector<std::string> out;
  auto add = [&](const std::string &who, const char *how, const std::vector<std::string> &what) {
    for (const std::string &w : what) out.push_back(who + how + w);
  };
  for (std::uint32_t pid : ended_->pids()) {
    if (ended_->exit_path(pid) != ExitPath::Returned) continue;
    std::string who = process_text(pid, ended_->image_name(pid));
    add(who, " returned from main holding handle ", ended_->open_handles(pid));
    add(who, " returned from main without giving back ", ended_->memory_left(pid));
  }
  for (const auto &[pid, p] : processes_) {
    std::vector<std::string> memory;
    for (const auto &[block, held] : p->memory) memory.push_back(held.what);
    add(process_text(pid, pid == host_pid_ ? std::string("host") : p->image_name()),
        " has not given back ", memory);
  }
  return out;
}

std::vector<std::uint32_t> World::processes() const {
  std::vector<std::uint32_t> out = ended_->pids();
  for (const auto &[pid, p] : processes_)
    if (pid != host_pid_ && !p->system) out.push_back(pid);
  std::sort(out.begin(), out.end());
  return out;
}

std::optional<std::uint32_t> World::find_process(const std::string &image_name) const {
  std::optional<std::uint32_t> found = ended_->last_of(image_name);
  for (const auto &[pid, p] : processes_)
    if (pid != host_pid_ && !p->system && equal_nocase(p->image_name(), image_name) &&
        (!found || pid > *found))
      found = pid;
  return found;
}

std::size_t World::loaded_images() const {
  std::size_t n = images_of_parts_.size();
  for (const auto &[pid, p] : processes_)
    if (p->image_copy) ++n;
  // An ended process whose record is not freed yet holds its copy only if it was not unloaded.
  for (const auto &p : ending_)
    if (p->image_copy) ++n;
  return n;
}

std::size_t World::thread_records() const {
  return scheduler_->thread_records();
}

bool World::set_named_event(const std::string &name) {
  // The other process is a service when the name is found in session 0, else a program of
  // the logged-on user.
  std::shared_ptr<Object> object;
  for (unsigned session : {0u, 1u}) {
    auto path = object_path(name, session);
    for (const auto &[n, weak] : named_)
      if (path && n == *path && !weak.expired()) object = weak.lock();
    if (object) break;
  }
  if (!object || object->type() != ObjectType::Event) return false;
  auto &event = static_cast<EventObject &>(*object);
  event.set = true;
  signal(event);
  return true;
}

void World::hold_named_mutex(const std::string &name) {
  if (find_named(name)) return;
  auto mutex = std::make_shared<MutexObject>();
  add_named(name, mutex);
  held_from_outside_.push_back(mutex);
}

std::uint32_t World::next_id() {
  std::uint32_t id = next_id_;
  next_id_ += 4;
  return id;
}

std::shared_ptr<Object> World::find_named(const std::string &name) const {
  auto path = object_path(name, session_of(*this, current_process()));
  if (!path) return nullptr;
  for (const auto &[n, weak] : named_)
    if (n == *path && !weak.expired()) return weak.lock();
  return nullptr;
}

void World::add_named(const std::string &name, const std::shared_ptr<Object> &object) {
  auto path = object_path(name, session_of(*this, current_process()));
  if (!path) return;
  object->name = name;
  named_.emplace_back(*path, object);
}

void World::forget_named(const Object &object) {
  for (auto it = named_.begin(); it != named_.end(); ++it) {
    auto locked = it->second.lock();
    if (!locked || locked.get() == &object) {
      named_.erase(it);
      return;
    }
  }
}

Process &World::create_process(const std::string &image, const std::string &command_line,
                               ProgramEntry entry, std::uint32_t parent) {
  free_ended();
  auto p = std::make_unique<Process>();
  p->pid = next_id();
  p->parent = parent;
  p->image = image;
  p->command_line = command_line;
  p->entry = entry;
  p->started_at = now();
  if (const Process *up = process(parent)) p->session = up->session;
  p->object = std::make_shared<ProcessObject>(p.get(), p->pid, p->image_name());
  Process &ref = *p;
  processes_.emplace(ref.pid, std::move(p));
  return ref;
}

SimThread *World::create_thread(Process &process, std::function<DWORD()> body, bool main) {
  std::uint32_t tid = next_id();
  std::string label = "pid " + std::to_string(process.pid) + " (" + process.image_name() +
                      ") tid " + std::to_string(tid);
  // The thread record exists before the body is bound, so the body can find it.
  auto holder = std::make_shared<SimThread *>(nullptr);
  SimThread *t = scheduler_->create(&process, tid, label, [this, body = std::move(body), holder] {
    DWORD code = body();
    SimThread &self = **holder;
    // The scheduler frees the record of a finished thread.
    std::erase(self.process->threads, &self);
    end_thread(self, code, self.main_thread);
    return code;
  });
  *holder = t;
  t->main_thread = main;
  t->object = std::make_shared<ThreadObject>();
  t->object->tid = tid;
  process.threads.push_back(t);
  return t;
}

namespace {
void abandon_mutexes(World &world, SimThread &thread) {
  for (auto &object : thread.owned_mutexes) {
    auto &mutex = static_cast<MutexObject &>(*object);
    if (mutex.owner != &thread) continue;
    mutex.owner = nullptr;
    mutex.count = 0;
    mutex.abandoned = true;
    world.signal(mutex);
  }
  thread.owned_mutexes.clear();
}
}  // namespace

void World::end_thread(SimThread &thread, std::uint32_t code, bool ends_process) {
  Process &p = *thread.process;
  if (p.ended) return;
  // A thread that ends while its process goes on, holding a critical section, leaves the
  // section held for good: Windows does not release it, and every thread that enters it hangs.
  if (!ends_process)
    for (const CriticalSectionRecord &cs : critical_sections_)
      if (cs.lock->owner == thread.tid)
        scheduler_->stop_current(RunStopped::Reason::ProgramFault,
                                 "winsim: fault of the program: " + thread.label +
                                     " ended holding " + cs.lock->describe() + "\n");
  thread.object->ended = true;
  thread.object->exit_code = code;
  abandon_mutexes(*this, thread);
  signal(*thread.object);
  // A main thread's end is its process's, unless it left through ExitThread.
  if (!thread.main_thread || !ends_process) {
    Trace::Record r;
    r["thread"] = thread.tid;
    r["code"] = code;
    record("thread.exit", std::move(r));
  }
  bool others = false;
  for (SimThread *t : p.threads)
    if (t != &thread && !t->object->ended) others = true;
  if (ends_process || !others) end_process(p, code, ExitPath::Returned);
}

void World::end_process(Process &p, std::uint32_t code, ExitPath path) {
  if (p.ended) return;
  p.ended = true;
  p.exit_code = code;
  p.exit_path = path;
  p.leaked_at_exit = p.handles.describe_open();
  for (const auto &[block, held] : p.memory) p.memory_at_exit.push_back(held.what);
  for (SimThread *t : p.threads) {
    if (t != scheduler_->current()) scheduler_->park(t);
    if (!t->object->ended) {
      t->object->ended = true;
      t->object->exit_code = code;
      abandon_mutexes(*this, *t);
      signal(*t->object);
    }
  }
  for (auto &[handle, entry] : p.handles.entries()) close_handle(*this, p, handle);
  p.object->ended = true;
  p.object->exit_code = code;
  signal(*p.object);
  SimThread *by = scheduler_->current();
  Trace::Record r;
  r["code"] = code;
  trace_.add(now(), p.pid, by->process == &p ? by->tid : 0, "process.exit", std::move(r));
  for (auto &listener : exit_listeners_) listener(p);
  release_memory(p);
  ended_->add(p.pid, p.image_name(), code, path, std::move(p.console), std::move(p.leaked_at_exit),
              std::move(p.memory_at_exit));
  p.object->process = nullptr;
  auto it = processes_.find(p.pid);
  ending_.push_back(std::move(it->second));
  processes_.erase(it);
  free_ended();
}

// What lived in the ended process's memory goes: the locks of its critical sections (some may
// lie in its parked threads' frames, which go next), its copy of a program image (threads
// parked in it never run again, and none of its code runs on the way out: its static
// destructors run only when its main returns). The process's record and its threads' stacks go
// once none of its threads runs (free_ended); the world keeps what the control face reports.
void World::release_memory(Process &p) {
  std::erase_if(critical_sections_,
                [&](const CriticalSectionRecord &cs) { return cs.pid == p.pid; });
  p.exit_handlers.clear();
  if (p.image_copy && made_a_part(*p.image_copy))
    images_of_parts_.push_back(std::move(p.image_copy));
  p.image_copy.reset();
  p.threads.clear();
}

// Frees the records of ended processes and their threads' records and stacks, except those of
// the thread running now (it frees them by running on, in another process or a later call).
void World::free_ended() {
  if (ending_.empty()) return;
  scheduler_->reap();
  const Process *running = scheduler_->current()->process;
  std::erase_if(ending_,
                [running](const std::unique_ptr<Process> &p) { return p.get() != running; });
}

// A stand-in library linked into a program image instantiates World::part in the image: the
// part's type information and destructor are the image's code.
bool World::made_a_part(const LoadedImage &image) const {
  for (const auto &[type, holder] : parts_) {
    const PartBase &part = *holder;
    if (image.holds(&typeid(part))) return true;
  }
  return false;
}

void World::record(std::string_view kind, Trace::Record fields) {
  SimThread *t = scheduler_->current();
  trace_.add(now(), t->process->pid, t->tid, kind, std::move(fields));
}

}  // namespace winsim

namespace winsim {

std::shared_ptr<CriticalSectionObject> World::critical_section(const void *address) const {
  for (const auto &cs : critical_sections_)
    if (cs.address == address) return cs.lock;
  return nullptr;
}

std::shared_ptr<CriticalSectionObject> World::init_critical_section(const void *address) {
  delete_critical_section(address);
  auto lock = std::make_shared<CriticalSectionObject>(++critical_section_serial_);
  critical_sections_.push_back({address, current_process().pid, lock});
  return lock;
}

void World::delete_critical_section(const void *address) {
  for (auto it = critical_sections_.begin(); it != critical_sections_.end(); ++it)
    if (it->address == address) {
      critical_sections_.erase(it);
      return;
    }
}

}  // namespace winsim
