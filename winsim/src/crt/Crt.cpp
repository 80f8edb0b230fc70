// The C runtime's state as the programs use it: console output, the static destructors of a
// program image, and the end of a program that lets a C++ exception escape.
#include <cxxabi.h>

#include <cstdlib>
#include <exception>
#include <memory>
#include <mutex>
#include <string>

#include "crt/Crt.h"
#include "kernel32/Io.h"
#include "winsim/win32.h"

int winsim_vprintf(const char *format, va_list args) {
  winsim::Call call("printf");
  va_list copy;
  va_copy(copy, args);
  int n = std::vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  if (n < 0) return n;
  std::string text(static_cast<size_t>(n), '\0');
  std::vsnprintf(text.data(), text.size() + 1, format, args);
  winsim::write_std(call, 1, text);
  return n;
}

int winsim_printf(const char *format, ...) {
  va_list args;
  va_start(args, format);
  int n = winsim_vprintf(format, args);
  va_end(args);
  return n;
}

int winsim_puts(const char *text) {
  winsim::Call call("puts");
  std::string line = std::string(text) + "\n";
  winsim::write_std(call, 1, line);
  return 1;
}

// The static destructors of a program image. The image is linked so that its registrations
// (static objects with destructors, function-local statics as they are made, atexit) come
// here instead of to the host's C library: they are the process's, and run when its main
// returns, as the C runtime's exit runs them on Windows, never when the process is ended
// (ExitProcess, TerminateProcess, a failure) and never by the loader.
extern "C" int __cxa_atexit(void (*function)(void *), void *argument, void *dso_handle);

extern "C" int __wrap___cxa_atexit(void (*function)(void *), void *argument, void *dso_handle) {
  winsim::SimThread *thread = winsim::current_thread();
  if (thread == nullptr) return __cxa_atexit(function, argument, dso_handle);
  thread->process->exit_handlers.emplace_back(function, argument);
  return 0;
}

namespace winsim {

void run_exit_handlers(Process &process) {
  while (!process.exit_handlers.empty()) {
    auto [function, argument] = process.exit_handlers.back();
    process.exit_handlers.pop_back();
    function(argument);
  }
}

}  // namespace winsim

namespace winsim {
namespace {

std::terminate_handler g_host_terminate = nullptr;

// The exception's type, and its text when it is a std::exception.
std::string describe_exception() {
  std::string type = "an exception of unknown type";
  if (const std::type_info *info = abi::__cxa_current_exception_type()) {
    int status = 0;
    std::unique_ptr<char, void (*)(void *)> name(
        abi::__cxa_demangle(info->name(), nullptr, nullptr, &status), std::free);
    type = status == 0 && name ? name.get() : info->name();
  }
  try {
    if (std::exception_ptr current = std::current_exception()) std::rethrow_exception(current);
  } catch (const std::exception &e) {
    return type + " (\"" + e.what() + "\")";
  } catch (...) {
  }
  return type;
}

// A C++ exception that no handler of the program caught: the runtime calls std::terminate
// with the thrower's frames in place, as on Windows, whose runtime then aborts the process
// with exit code 3. Only that process ends; the run stops with the fault reported.
[[noreturn]] void on_terminate() {
  SimThread *thread = current_thread();
  if (thread == nullptr || thread->host || World::find() == nullptr) {
    if (g_host_terminate != nullptr) g_host_terminate();
    std::abort();
  }
  std::string report = "winsim: fault of the program: " + thread->label +
                       " let a C++ exception escape: " + describe_exception() +
                       "; the process ends with code 3\n";
  World::get().end_process(*thread->process, 3, ExitPath::Terminated);
  thread->scheduler->stop_current(RunStopped::Reason::ProgramFault, std::move(report));
}

}  // namespace

void watch_uncaught_exceptions() {
  static std::once_flag once;
  std::call_once(once, [] { g_host_terminate = std::set_terminate(&on_terminate); });
}

}  // namespace winsim
