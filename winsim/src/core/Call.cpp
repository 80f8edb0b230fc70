#include "core/Call.h"

#include <dlfcn.h>
#include <execinfo.h>
#include <link.h>

#include <cstdio>
#include <cstdlib>

#include "core/ImageSymbols.h"
#include "core/ThreadObject.h"

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

// Where the host's executable is loaded: the first module the loader lists.
const void *host_executable_base() {
  static const void *const base = [] {
    const void *first = nullptr;
    dl_iterate_phdr(
        [](dl_phdr_info *info, std::size_t, void *out) {
          *static_cast<const void **>(out) = reinterpret_cast<const void *>(info->dlpi_addr);
          return 1;
        },
        &first);
    return first;
  }();
  return base;
}

// The program function that made the emulated call now running on this thread: the first
// frame outside winsim, when it lies in the process's own copy of its program image, or in the
// host's executable for the host and the programs that live in its image (a test running a
// program's parts; the program is then the program image of the world that has a function of
// that name, or none). Empty for a call from a library.
FaultPlan::Caller program_caller(const World &world, const Process &process) {
  static const void *const winsim_base = [] {
    Dl_info info{};
    dladdr(reinterpret_cast<const void *>(&world_for), &info);
    return info.dli_fbase;
  }();
  void *frames[32];
  int count = backtrace(frames, 32);
  for (int i = 1; i < count; ++i) {
    Dl_info info{};
    if (dladdr(frames[i], &info) == 0) return {};
    if (info.dli_fbase == winsim_base) continue;
    // A return address points after its call; the call itself is one byte before.
    const char *at = static_cast<const char *>(frames[i]) - 1;
    if (process.image_copy) {
      std::string_view function = process.image_copy->function_at(at);
      if (function.empty()) return {};
      return {function, process.image_name()};
    }
    if (info.dli_fbase != host_executable_base()) return {};
    std::string_view function = ImageSymbols::of("/proc/self/exe")
                                    .function_at(static_cast<std::uintptr_t>(
                                        at - static_cast<const char *>(info.dli_fbase)));
    if (function.empty()) return {};
    return {function, world.program_with_function(function)};
  }
  return {};
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
  auto error = world.faults().check(name, subjects, default_error,
                                    [this] { return program_caller(world, process); });
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

void Call::program_fault(const std::string &what) {
  program_fault(name, what);
}

void Call::program_fault(const char *call_name, const std::string &what) {
  World &world = world_for(call_name);
  SimThread &thread = thread_for(call_name);
  std::string function(program_caller(world, *thread.process).function);
  world.scheduler().stop_current(
      RunStopped::Reason::ProgramFault,
      "winsim: fault of the program: " + thread.label + " called " + call_name + " " + what +
          " (from " + (function.empty() ? std::string("code outside the programs") : function) +
          ")\n");
}

std::shared_ptr<Object> object_of(Call &call, HANDLE handle) {
  if (handle == reinterpret_cast<HANDLE>(static_cast<LONG_PTR>(-1))) return call.process.object;
  if (handle == reinterpret_cast<HANDLE>(static_cast<LONG_PTR>(-2))) return call.thread.object;
  return call.process.handles.get(handle);
}

namespace {

std::string handle_text(HANDLE handle) {
  char text[32];
  std::snprintf(text, sizeof text, "handle 0x%llx",
                static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(handle)));
  return text;
}

}  // namespace

void handle_misuse(Call &call, HANDLE handle, const Object *object, const char *wanted) {
  if (handle == nullptr)
    call.program_fault("with a null handle where it takes " + std::string(wanted));
  if (object == nullptr)
    call.program_fault("on " + handle_text(handle) + ", which " +
                       call.process.handles.describe_unopened(handle));
  call.program_fault("on " + handle_text(handle) + ", " + object->describe() + ", which is not " +
                     wanted);
}

std::shared_ptr<Object> checked_object(Call &call, HANDLE handle,
                                       std::initializer_list<ObjectType> kinds,
                                       const char *wanted) {
  auto object = object_of(call, handle);
  if (!object) handle_misuse(call, handle, nullptr, wanted);
  for (ObjectType kind : kinds)
    if (object->type() == kind) return object;
  handle_misuse(call, handle, object.get(), wanted);
}

void check_open(Call &call, HANDLE handle) {
  if (!object_of(call, handle)) handle_misuse(call, handle, nullptr, "an open handle");
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
