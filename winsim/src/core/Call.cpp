#include "core/Call.h"

#include <cstdio>
#include <cstdlib>

#include "kernel32/ThreadObject.h"

namespace winsim {
namespace {

World &world_for(const char *name) {
  World *w = World::find();
  if (w == nullptr) {
    std::fprintf(stderr, "winsim: %s called while no world exists\n", name);
    std::abort();
  }
  return *w;
}

SimThread &thread_for(const char *name) {
  SimThread *t = current_thread();
  if (t == nullptr) {
    std::fprintf(stderr, "winsim: %s called from a thread outside the simulated world\n", name);
    std::abort();
  }
  return *t;
}

}  // namespace

Call::Call(const char *call_name)
    : world(world_for(call_name)),
      thread(thread_for(call_name)),
      process(*thread.process),
      name(call_name) {
  Scheduler &s = world.scheduler();
  s.check_stop();
  thread.last_call.store(call_name, std::memory_order_relaxed);
  s.switch_point();
}

std::optional<DWORD> Call::fault(std::vector<std::string_view> subjects, DWORD default_error) {
  auto error = world.faults().check(name, subjects, default_error);
  if (error) {
    Trace::Record r;
    r["call"] = name;
    r["error"] = *error;
    world.record("fault", std::move(r));
  }
  return error;
}

void Call::not_simulated(const std::string &what) {
  world.scheduler().stop_current(RunStopped::Reason::NotSimulated,
                                 "winsim: " + thread.label + " called " + name + " " + what +
                                     ", which winsim does not simulate\n");
}

std::shared_ptr<Object> object_of(Call &call, HANDLE handle) {
  if (handle == reinterpret_cast<HANDLE>(static_cast<LONG_PTR>(-1))) return call.process.object;
  if (handle == reinterpret_cast<HANDLE>(static_cast<LONG_PTR>(-2))) return call.thread.object;
  return call.process.handles.get(handle);
}

void unsupported(Call &call, const std::string &what) {
  call.world.scheduler().stop_run(RunStopped::Reason::NotSimulated,
                                  "winsim: unsupported: " + std::string(call.name) + ": " + what +
                                      " (pid " + std::to_string(call.process.pid) + ")\n");
  call.world.scheduler().check_stop();
}

bool close_handle(World &world, Process &process, HANDLE handle) {
  auto object = process.handles.remove(handle);
  if (!object) return false;
  if (object->handles == 0) {
    if (!object->name.empty()) world.forget_named(*object);
    object->last_handle_closed();
  }
  return true;
}

std::string timeout_text(DWORD ms) {
  return ms == INFINITE ? "INFINITE" : std::to_string(ms);
}

}  // namespace winsim
