// Handles, events, mutexes, critical sections, threads, waits and sleeping.
#include <initializer_list>
#include <string>

#include "core/Call.h"
#include "core/ObjectNames.h"
#include "core/ProcessObject.h"
#include "core/ThreadObject.h"
#include "kernel32/ConsoleObject.h"
#include "kernel32/CriticalSectionObject.h"
#include "kernel32/EventObject.h"
#include "kernel32/MutexObject.h"
#include "kernel32/Threads.h"
#include "winsim/Text.h"
#include "winsim/win32.h"

using winsim::Call;
using winsim::Object;
using winsim::ObjectType;

namespace {

constexpr DWORD ERROR_NOT_OWNER = 288;
constexpr DWORD THREAD_ALL_ACCESS = 0x1FFFFF;

// The kinds of object CloseHandle closes: the kernel's. Registry keys, service handles, event
// sources, device notifications and searches each have their own closing function.
constexpr std::initializer_list<ObjectType> kKernelObjects = {
    ObjectType::Event,   ObjectType::Mutex, ObjectType::Thread, ObjectType::Process,
    ObjectType::PipeEnd, ObjectType::File,  ObjectType::Device, ObjectType::Console};
constexpr const char *kKernelHandle = "a kernel object handle";

bool inheritable(const SECURITY_ATTRIBUTES *sa) {
  return sa != nullptr && sa->bInheritHandle;
}

template <typename T, typename... Args>
HANDLE create_named(Call &call, const std::string &name, ObjectType type, DWORD access,
                    bool inherit, Args &&...args) {
  if (!name.empty() && !winsim::object_path(name, 0))
    return call.fail_with<HANDLE>(ERROR_PATH_NOT_FOUND, nullptr);
  if (!name.empty()) {
    if (auto existing = call.world.find_named(name)) {
      if (existing->type() != type) return call.fail_with<HANDLE>(ERROR_INVALID_HANDLE, nullptr);
      HANDLE h = call.process.handles.insert(existing, access, inherit);
      call.set_error(ERROR_ALREADY_EXISTS);
      return h;
    }
  }
  auto object = std::make_shared<T>(std::forward<Args>(args)...);
  if (!name.empty()) call.world.add_named(name, object);
  HANDLE h = call.process.handles.insert(object, access, inherit);
  call.set_error(ERROR_SUCCESS);
  return h;
}

HANDLE open_named(Call &call, const std::string &name, ObjectType type, DWORD access,
                  bool inherit) {
  if (auto e = call.fault({name}, ERROR_ACCESS_DENIED)) return call.fail_with<HANDLE>(*e, nullptr);
  if (name.empty()) return call.fail_with<HANDLE>(ERROR_INVALID_PARAMETER, nullptr);
  if (!winsim::object_path(name, 0)) return call.fail_with<HANDLE>(ERROR_PATH_NOT_FOUND, nullptr);
  auto existing = call.world.find_named(name);
  if (!existing) return call.fail_with<HANDLE>(ERROR_FILE_NOT_FOUND, nullptr);
  if (existing->type() != type) return call.fail_with<HANDLE>(ERROR_INVALID_HANDLE, nullptr);
  return call.process.handles.insert(existing, access, inherit);
}

std::string narrow_name(Call &call, LPCSTR name) {
  return name == nullptr ? std::string() : winsim::to_utf8(name, call.world.acp());
}

std::string wide_name(LPCWSTR name) {
  return name == nullptr ? std::string() : winsim::utf16_to_utf8(name);
}

HANDLE create_event(Call &call, LPSECURITY_ATTRIBUTES sa, BOOL manual, BOOL initial,
                    const std::string &name) {
  if (auto e = call.fault({name}, ERROR_NOT_ENOUGH_MEMORY))
    return call.fail_with<HANDLE>(*e, nullptr);
  return create_named<winsim::EventObject>(call, name, ObjectType::Event, EVENT_ALL_ACCESS,
                                           inheritable(sa), manual != FALSE, initial != FALSE);
}

HANDLE create_mutex(Call &call, LPSECURITY_ATTRIBUTES sa, BOOL owner, const std::string &name) {
  if (auto e = call.fault({name}, ERROR_NOT_ENOUGH_MEMORY))
    return call.fail_with<HANDLE>(*e, nullptr);
  HANDLE h = create_named<winsim::MutexObject>(call, name, ObjectType::Mutex, MUTEX_ALL_ACCESS,
                                               inheritable(sa));
  if (h != nullptr && owner && call.thread.last_error != ERROR_ALREADY_EXISTS) {
    auto mutex = call.process.handles.get(h);
    mutex->take(call.thread);
  }
  return h;
}

// The event a handle names, when the handle may change its state; null with the error when it
// lacks the right.
std::shared_ptr<winsim::EventObject> event_for_change(Call &call, HANDLE h, DWORD *error) {
  auto event = winsim::checked_as<winsim::EventObject>(call, h, ObjectType::Event, "an event");
  if (!(call.process.handles.find(h)->access & EVENT_MODIFY_STATE)) {
    *error = ERROR_ACCESS_DENIED;
    return nullptr;
  }
  return event;
}

// The lock of a critical section record. A record never initialized, or deleted since, holds
// no lock: using it is undefined on Windows (a corrupted lock, a hang later) and a fault here.
std::shared_ptr<winsim::CriticalSectionObject> lock_of(Call &call, LPCRITICAL_SECTION cs) {
  auto lock = call.world.critical_section(cs);
  if (!lock)
    call.program_fault("on a critical section that is not initialized (never, or deleted)");
  return lock;
}

std::string holder_of(const winsim::CriticalSectionObject &lock) {
  return lock.owner == 0 ? std::string("no thread holds it")
                         : "thread " + std::to_string(lock.owner) + " holds it";
}

// The access a handle of the calling process grants; the pseudo handles of the current process
// and thread grant all.
DWORD access_of(Call &call, HANDLE handle) {
  if (handle == GetCurrentProcess() || handle == GetCurrentThread()) return 0x1FFFFF;
  const auto *entry = call.process.handles.find(handle);
  return entry != nullptr ? entry->access : 0;
}

// Whether the process handle names the calling process (false for another process).
bool names_this_process(Call &call, HANDLE handle) {
  return winsim::checked_as<winsim::ProcessObject>(call, handle, ObjectType::Process, "a process")
             ->process == &call.process;
}

std::string describe_wait(const char *name, const std::vector<std::shared_ptr<Object>> &objects,
                          bool all, DWORD ms) {
  std::string text = std::string(name) + "(";
  if (objects.size() > 1) text += "[";
  for (size_t i = 0; i < objects.size(); ++i) {
    if (i) text += ", ";
    text += objects[i]->describe();
  }
  if (objects.size() > 1) text += all ? "], all" : "], any";
  return text + ", " + winsim::timeout_text(ms) + ")";
}

}  // namespace

namespace winsim {

// A thread that starts suspended needs ResumeThread, which winsim does not simulate; flags
// beyond the documented two have no known meaning.
void refuse_creation_flags(Call &call, DWORD flags) {
  if (flags & CREATE_SUSPENDED) call.not_simulated("with CREATE_SUSPENDED");
  if (flags & ~static_cast<DWORD>(CREATE_SUSPENDED | STACK_SIZE_PARAM_IS_A_RESERVATION))
    call.not_simulated(
        "with creation flags outside CREATE_SUSPENDED and "
        "STACK_SIZE_PARAM_IS_A_RESERVATION");
}

HANDLE start_thread(Call &call, std::function<DWORD()> body, DWORD flags, DWORD *thread_id) {
  if (auto e = call.fault({}, ERROR_NOT_ENOUGH_MEMORY)) return call.fail_with<HANDLE>(*e, nullptr);
  if (!body) return call.fail_with<HANDLE>(ERROR_INVALID_PARAMETER, nullptr);
  refuse_creation_flags(call, flags);
  winsim::SimThread *t = call.world.create_thread(call.process, std::move(body), false);
  if (thread_id != nullptr) *thread_id = t->tid;
  winsim::Trace::Record r;
  r["thread"] = t->tid;
  call.world.record("thread.start", std::move(r));
  return call.process.handles.insert(t->object, THREAD_ALL_ACCESS, false);
}

}  // namespace winsim

BOOL WINAPI CloseHandle(HANDLE hObject) {
  Call call("CloseHandle");
  if (auto e = call.fault({}, ERROR_INVALID_HANDLE)) return call.fail(*e);
  if (hObject == GetCurrentProcess() || hObject == GetCurrentThread()) return TRUE;
  winsim::checked_object(call, hObject, kKernelObjects, kKernelHandle);
  winsim::close_handle(call.world, call.process, hObject);
  return TRUE;
}

BOOL WINAPI SetHandleInformation(HANDLE hObject, DWORD dwMask, DWORD dwFlags) {
  Call call("SetHandleInformation");
  if (auto e = call.fault({}, ERROR_INVALID_HANDLE)) return call.fail(*e);
  winsim::checked_object(call, hObject, kKernelObjects, kKernelHandle);
  auto *entry = call.process.handles.find(hObject);
  if (entry == nullptr) return call.fail(ERROR_INVALID_HANDLE);  // a pseudo handle
  if (dwMask & HANDLE_FLAG_INHERIT) entry->inherit = (dwFlags & HANDLE_FLAG_INHERIT) != 0;
  return TRUE;
}

BOOL WINAPI GetHandleInformation(HANDLE hObject, LPDWORD lpdwFlags) {
  Call call("GetHandleInformation");
  winsim::checked_object(call, hObject, kKernelObjects, kKernelHandle);
  auto *entry = call.process.handles.find(hObject);
  if (entry == nullptr) return call.fail(ERROR_INVALID_HANDLE);  // a pseudo handle
  if (lpdwFlags != nullptr) *lpdwFlags = entry->inherit ? HANDLE_FLAG_INHERIT : 0;
  return TRUE;
}

BOOL WINAPI DuplicateHandle(HANDLE hSourceProcessHandle, HANDLE hSourceHandle,
                            HANDLE hTargetProcessHandle, LPHANDLE lpTargetHandle,
                            DWORD dwDesiredAccess, BOOL bInheritHandle, DWORD dwOptions) {
  Call call("DuplicateHandle");
  if (auto e = call.fault({}, ERROR_INVALID_HANDLE)) return call.fail(*e);
  bool source_here = names_this_process(call, hSourceProcessHandle);
  bool target_here = names_this_process(call, hTargetProcessHandle);
  if (!source_here || !target_here) call.not_simulated("between two processes");
  auto object = winsim::checked_object(call, hSourceHandle, kKernelObjects, kKernelHandle);
  DWORD access = dwDesiredAccess;
  if (dwOptions & DUPLICATE_SAME_ACCESS) {
    auto *entry = call.process.handles.find(hSourceHandle);
    access = entry != nullptr ? entry->access : 0x1FFFFF;
  }
  HANDLE h = call.process.handles.insert(object, access, bInheritHandle != FALSE);
  if (lpTargetHandle != nullptr) *lpTargetHandle = h;
  if (dwOptions & DUPLICATE_CLOSE_SOURCE)
    winsim::close_handle(call.world, call.process, hSourceHandle);
  return TRUE;
}

HANDLE WINAPI CreateEventA(LPSECURITY_ATTRIBUTES lpEventAttributes, BOOL bManualReset,
                           BOOL bInitialState, LPCSTR lpName) {
  Call call("CreateEventA");
  return create_event(call, lpEventAttributes, bManualReset, bInitialState,
                      narrow_name(call, lpName));
}

HANDLE WINAPI CreateEventW(LPSECURITY_ATTRIBUTES lpEventAttributes, BOOL bManualReset,
                           BOOL bInitialState, LPCWSTR lpName) {
  Call call("CreateEventW");
  return create_event(call, lpEventAttributes, bManualReset, bInitialState, wide_name(lpName));
}

HANDLE WINAPI OpenEventA(DWORD dwDesiredAccess, BOOL bInheritHandle, LPCSTR lpName) {
  Call call("OpenEventA");
  std::string name = narrow_name(call, lpName);
  return open_named(call, name, ObjectType::Event, dwDesiredAccess, bInheritHandle != FALSE);
}

HANDLE WINAPI OpenEventW(DWORD dwDesiredAccess, BOOL bInheritHandle, LPCWSTR lpName) {
  Call call("OpenEventW");
  std::string name = wide_name(lpName);
  return open_named(call, name, ObjectType::Event, dwDesiredAccess, bInheritHandle != FALSE);
}

BOOL WINAPI SetEvent(HANDLE hEvent) {
  Call call("SetEvent");
  if (auto e = call.fault({}, ERROR_INVALID_HANDLE)) return call.fail(*e);
  DWORD error = 0;
  auto event = event_for_change(call, hEvent, &error);
  if (!event) return call.fail(error);
  event->set = true;
  call.world.signal(*event);
  return TRUE;
}

BOOL WINAPI ResetEvent(HANDLE hEvent) {
  Call call("ResetEvent");
  if (auto e = call.fault({}, ERROR_INVALID_HANDLE)) return call.fail(*e);
  DWORD error = 0;
  auto event = event_for_change(call, hEvent, &error);
  if (!event) return call.fail(error);
  event->set = false;
  return TRUE;
}

HANDLE WINAPI CreateMutexA(LPSECURITY_ATTRIBUTES lpMutexAttributes, BOOL bInitialOwner,
                           LPCSTR lpName) {
  Call call("CreateMutexA");
  return create_mutex(call, lpMutexAttributes, bInitialOwner, narrow_name(call, lpName));
}

HANDLE WINAPI CreateMutexW(LPSECURITY_ATTRIBUTES lpMutexAttributes, BOOL bInitialOwner,
                           LPCWSTR lpName) {
  Call call("CreateMutexW");
  return create_mutex(call, lpMutexAttributes, bInitialOwner, wide_name(lpName));
}

HANDLE WINAPI OpenMutexA(DWORD dwDesiredAccess, BOOL bInheritHandle, LPCSTR lpName) {
  Call call("OpenMutexA");
  std::string name = narrow_name(call, lpName);
  return open_named(call, name, ObjectType::Mutex, dwDesiredAccess, bInheritHandle != FALSE);
}

BOOL WINAPI ReleaseMutex(HANDLE hMutex) {
  Call call("ReleaseMutex");
  if (auto e = call.fault({}, ERROR_INVALID_HANDLE)) return call.fail(*e);
  auto mutex = winsim::checked_as<winsim::MutexObject>(call, hMutex, ObjectType::Mutex, "a mutex");
  if (mutex->owner != &call.thread) return call.fail(ERROR_NOT_OWNER);
  if (--mutex->count == 0) {
    mutex->owner = nullptr;
    auto &owned = call.thread.owned_mutexes;
    for (auto it = owned.begin(); it != owned.end(); ++it)
      if (it->get() == mutex.get()) {
        owned.erase(it);
        break;
      }
    call.world.signal(*mutex);
  }
  return TRUE;
}

void WINAPI InitializeCriticalSection(LPCRITICAL_SECTION lpCriticalSection) {
  Call call("InitializeCriticalSection");
  *lpCriticalSection = CRITICAL_SECTION{};
  call.world.init_critical_section(lpCriticalSection);
}

BOOL WINAPI InitializeCriticalSectionAndSpinCount(LPCRITICAL_SECTION lpCriticalSection,
                                                  DWORD dwSpinCount) {
  Call call("InitializeCriticalSectionAndSpinCount");
  if (auto e = call.fault({}, ERROR_NOT_ENOUGH_MEMORY)) return call.fail(*e);
  *lpCriticalSection = CRITICAL_SECTION{};
  lpCriticalSection->SpinCount = dwSpinCount;
  call.world.init_critical_section(lpCriticalSection);
  return TRUE;
}

void WINAPI EnterCriticalSection(LPCRITICAL_SECTION lpCriticalSection) {
  Call call("EnterCriticalSection");
  auto lock = lock_of(call, lpCriticalSection);
  std::shared_ptr<Object> object = lock;
  winsim::wait_objects(call, {object}, false, INFINITE,
                       "EnterCriticalSection(" + lock->describe() + ")");
}

BOOL WINAPI TryEnterCriticalSection(LPCRITICAL_SECTION lpCriticalSection) {
  Call call("TryEnterCriticalSection");
  auto lock = lock_of(call, lpCriticalSection);
  if (!lock->signalled(call.thread)) return FALSE;
  lock->take(call.thread);
  return TRUE;
}

void WINAPI LeaveCriticalSection(LPCRITICAL_SECTION lpCriticalSection) {
  Call call("LeaveCriticalSection");
  auto lock = lock_of(call, lpCriticalSection);
  // Leaving a section the thread does not hold corrupts the lock on Windows.
  if (lock->owner != call.thread.tid || lock->count == 0)
    call.program_fault("on " + lock->describe() + ", which it does not hold (" + holder_of(*lock) +
                       ")");
  if (--lock->count == 0) {
    lock->owner = 0;
    call.world.signal(*lock);
  }
}

void WINAPI DeleteCriticalSection(LPCRITICAL_SECTION lpCriticalSection) {
  Call call("DeleteCriticalSection");
  auto lock = lock_of(call, lpCriticalSection);
  if (lock->owner != 0 || !lock->waiters.empty())
    call.program_fault("on " + lock->describe() + " while it is in use (" + holder_of(*lock) +
                       ", " + std::to_string(lock->waiters.size()) + " waiting)");
  call.world.delete_critical_section(lpCriticalSection);
}

LONG WINAPI InterlockedExchange(LONG volatile *Target, LONG Value) {
  Call call("InterlockedExchange");
  return __atomic_exchange_n(Target, Value, __ATOMIC_SEQ_CST);
}

LONG WINAPI InterlockedIncrement(LONG volatile *Addend) {
  Call call("InterlockedIncrement");
  return __atomic_add_fetch(Addend, 1, __ATOMIC_SEQ_CST);
}

LONG WINAPI InterlockedDecrement(LONG volatile *Addend) {
  Call call("InterlockedDecrement");
  return __atomic_sub_fetch(Addend, 1, __ATOMIC_SEQ_CST);
}

LONG WINAPI InterlockedCompareExchange(LONG volatile *Destination, LONG Exchange, LONG Comparand) {
  Call call("InterlockedCompareExchange");
  LONG expected = Comparand;
  __atomic_compare_exchange_n(Destination, &expected, Exchange, false, __ATOMIC_SEQ_CST,
                              __ATOMIC_SEQ_CST);
  return expected;
}

namespace {

// The body of a thread that runs `start(parameter)`; empty without a start address.
std::function<DWORD()> thread_body(LPTHREAD_START_ROUTINE start, LPVOID parameter) {
  if (start == nullptr) return {};
  return [start, parameter] { return start(parameter); };
}

}  // namespace

HANDLE WINAPI CreateThread(LPSECURITY_ATTRIBUTES lpThreadAttributes, SIZE_T dwStackSize,
                           LPTHREAD_START_ROUTINE lpStartAddress, LPVOID lpParameter,
                           DWORD dwCreationFlags, LPDWORD lpThreadId) {
  (void)lpThreadAttributes;
  (void)dwStackSize;
  Call call("CreateThread");
  HANDLE thread = winsim::start_thread(call, thread_body(lpStartAddress, lpParameter),
                                       dwCreationFlags, lpThreadId);
  if (thread != nullptr) call.set_error(ERROR_SUCCESS);
  return thread;
}

void WINAPI ExitThread(DWORD dwExitCode) {
  winsim::World &world = winsim::World::get();
  {
    Call call("ExitThread");
    world.end_thread(call.thread, dwExitCode, false);
  }
  world.scheduler().park_current();
}

BOOL WINAPI GetExitCodeThread(HANDLE hThread, LPDWORD lpExitCode) {
  Call call("GetExitCodeThread");
  auto t = winsim::checked_as<winsim::ThreadObject>(call, hThread, ObjectType::Thread, "a thread");
  *lpExitCode = t->ended ? t->exit_code : STILL_ACTIVE;
  return TRUE;
}

DWORD WINAPI GetCurrentThreadId() {
  Call call("GetCurrentThreadId");
  return call.thread.tid;
}

HANDLE WINAPI GetCurrentThread() {
  return reinterpret_cast<HANDLE>(static_cast<LONG_PTR>(-2));
}

BOOL WINAPI SwitchToThread() {
  Call call("SwitchToThread");
  call.world.scheduler().yield();
  return TRUE;
}

DWORD WINAPI WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds) {
  return WaitForMultipleObjects(1, &hHandle, FALSE, dwMilliseconds);
}

DWORD WINAPI WaitForMultipleObjects(DWORD nCount, const HANDLE *lpHandles, BOOL bWaitAll,
                                    DWORD dwMilliseconds) {
  const char *name = nCount == 1 && !bWaitAll ? "WaitForSingleObject" : "WaitForMultipleObjects";
  Call call(name);
  if (auto e = call.fault({}, ERROR_INVALID_HANDLE)) return call.fail_with<DWORD>(*e, WAIT_FAILED);
  // No handles at all is a misuse Application Verifier stops for; too many is a plain error.
  if (nCount == 0 || lpHandles == nullptr)
    call.program_fault("with " + std::to_string(nCount) + " handles at " +
                       (lpHandles == nullptr ? "a null address" : "an address"));
  if (nCount > MAXIMUM_WAIT_OBJECTS)
    return call.fail_with<DWORD>(ERROR_INVALID_PARAMETER, WAIT_FAILED);
  std::vector<std::shared_ptr<Object>> objects;
  for (DWORD i = 0; i < nCount; ++i) {
    auto object = winsim::object_of(call, lpHandles[i]);
    if (!object || !object->waitable())
      winsim::handle_misuse(call, lpHandles[i], object.get(), "a handle that can be waited on");
    if (!(access_of(call, lpHandles[i]) & SYNCHRONIZE))
      return call.fail_with<DWORD>(ERROR_ACCESS_DENIED, WAIT_FAILED);
    if (bWaitAll)
      for (const auto &other : objects)
        if (other == object) return call.fail_with<DWORD>(ERROR_INVALID_PARAMETER, WAIT_FAILED);
    objects.push_back(std::move(object));
  }
  std::string what = describe_wait(name, objects, bWaitAll != FALSE, dwMilliseconds);
  return winsim::wait_objects(call, objects, bWaitAll != FALSE, dwMilliseconds, std::move(what));
}

void WINAPI Sleep(DWORD dwMilliseconds) {
  Call call("Sleep");
  winsim::Scheduler &s = call.world.scheduler();
  if (dwMilliseconds == 0) {
    s.yield();
    return;
  }
  std::optional<std::uint64_t> deadline;
  if (dwMilliseconds != INFINITE) deadline = call.world.now() + dwMilliseconds;
  s.block("Sleep(" + winsim::timeout_text(dwMilliseconds) + ")", deadline);
}
