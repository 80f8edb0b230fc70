// Threads and the objects they wait on: start, identity and exit codes of threads, critical
// sections; auto- and manual-reset events, waits on one or many objects, time-outs and access
// rights; named events and mutexes in one namespace, existing names, lifetime, the "Global\"
// prefix, and mutex ownership including abandonment.
#include <tuple>
#include <vector>

#include "Conformance.h"

namespace {

using conformance::Failed;
using conformance::JoinThread;
using conformance::kMarker;
using conformance::Succeeded;
using conformance::Try;

class Synchronisation : public conformance::Fixture {};

struct Guarded {
  CRITICAL_SECTION lock;
  BOOL entered = TRUE;
};

DWORD WINAPI TryToEnter(LPVOID parameter) {
  auto *guarded = static_cast<Guarded *>(parameter);
  guarded->entered = TryEnterCriticalSection(&guarded->lock);
  if (guarded->entered) LeaveCriticalSection(&guarded->lock);
  return 0;
}

DWORD WINAPI WaitOnEvent(LPVOID event) {
  return WaitForSingleObject(static_cast<HANDLE>(event), INFINITE) == WAIT_OBJECT_0 ? 1 : 2;
}

// A thread reports STILL_ACTIVE while it runs; at its end its handle is signalled, with the code
// it returned or gave ExitThread. Its id is its own, and the runtime's start
// gives a waitable handle too.
TEST_F(Synchronisation,
       ThreadsEndWithTheirCodesAndEventsReleaseThemWaitsTakeWhatTheyWaitForAndRightsHold) {
  HANDLE go = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  const LPTHREAD_START_ROUTINE wait_then_return = [](LPVOID event) -> DWORD {
    WaitForSingleObject(static_cast<HANDLE>(event), INFINITE);
    return 5;
  };
  HANDLE thread = CreateThread(nullptr, 0, wait_then_return, go, 0, nullptr);
  DWORD code = 0;
  EXPECT_TRUE(GetExitCodeThread(thread, &code));
  EXPECT_EQ(code, static_cast<DWORD>(STILL_ACTIVE));
  EXPECT_EQ(WaitForSingleObject(thread, 0), WAIT_TIMEOUT);
  SetEvent(go);
  EXPECT_EQ(JoinThread(thread), 5u);
  CloseHandle(go);
  const LPTHREAD_START_ROUTINE exit_thread = [](LPVOID) -> DWORD { ExitThread(7); };
  EXPECT_EQ(JoinThread(CreateThread(nullptr, 0, exit_thread, nullptr, 0, nullptr)), 7u);
  const LPTHREAD_START_ROUTINE own_id = [](LPVOID) { return GetCurrentThreadId(); };
  DWORD id = 0;
  EXPECT_EQ(JoinThread(CreateThread(nullptr, 0, own_id, nullptr, 0, &id)), id);
  EXPECT_NE(id, 0u);
  EXPECT_NE(id, GetCurrentThreadId());
  unsigned value = 21;
  unsigned runtime_id = 0;
  unsigned(__stdcall *const twice)(void *) = [](void *parameter) {
    return *static_cast<unsigned *>(parameter) * 2;
  };
  auto handle = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, twice, &value, 0, &runtime_id));
  ASSERT_NE(handle, nullptr);
  EXPECT_NE(runtime_id, 0u);
  EXPECT_EQ(JoinThread(handle), 42u);

  // A critical section held by one thread cannot be entered by another; its owner enters again
  // without blocking. (A thread that ends holding one is a fault winsim stops the run for.) The
  // flag the status threads share is set by an exchange, which returns the value before.
  Guarded guarded;
  InitializeCriticalSection(&guarded.lock);
  EnterCriticalSection(&guarded.lock);
  EXPECT_TRUE(TryEnterCriticalSection(&guarded.lock));
  LeaveCriticalSection(&guarded.lock);

  JoinThread(CreateThread(nullptr, 0, TryToEnter, &guarded, 0, nullptr));
  EXPECT_FALSE(guarded.entered);

  LeaveCriticalSection(&guarded.lock);
  JoinThread(CreateThread(nullptr, 0, TryToEnter, &guarded, 0, nullptr));
  EXPECT_TRUE(guarded.entered);
  DeleteCriticalSection(&guarded.lock);

  LONG flag = 0;
  EXPECT_EQ(InterlockedExchange(&flag, 1), 0);
  EXPECT_EQ(InterlockedExchange(&flag, 0), 1);
  EXPECT_EQ(flag, 0);

  // An auto-reset event releases one waiter per set; a manual-reset one stays set for every
  // waiter until reset. An event is created set or not with the last error cleared. Waiting for
  // any returns the lowest signalled index and takes only that object; waiting for all needs
  // every object and takes none until then.
  HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  HANDLE threads[2];
  for (auto &waiter : threads) waiter = CreateThread(nullptr, 0, WaitOnEvent, event, 0, nullptr);
  EXPECT_EQ(WaitForMultipleObjects(2, threads, FALSE, 0), WAIT_TIMEOUT);

  EXPECT_TRUE(SetEvent(event));
  DWORD first = WaitForMultipleObjects(2, threads, FALSE, INFINITE);
  ASSERT_TRUE(first == WAIT_OBJECT_0 || first == WAIT_OBJECT_0 + 1) << first;
  HANDLE other = threads[1 - (first - WAIT_OBJECT_0)];
  // The one set released one waiter and the event reset itself.
  EXPECT_EQ(WaitForSingleObject(other, 50), WAIT_TIMEOUT);
  EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_TIMEOUT);

  EXPECT_TRUE(SetEvent(event));
  for (HANDLE waiter : threads) EXPECT_EQ(JoinThread(waiter), 1u);
  CloseHandle(event);

  event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  for (auto &waiter : threads) waiter = CreateThread(nullptr, 0, WaitOnEvent, event, 0, nullptr);
  EXPECT_TRUE(SetEvent(event));
  EXPECT_EQ(WaitForMultipleObjects(2, threads, TRUE, INFINITE), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0);
  EXPECT_TRUE(ResetEvent(event));
  EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_TIMEOUT);
  for (HANDLE waiter : threads) EXPECT_EQ(JoinThread(waiter), 1u);
  CloseHandle(event);

  HANDLE automatic = nullptr;
  EXPECT_EQ(Try([&] { return automatic = CreateEventW(nullptr, FALSE, TRUE, nullptr); }),
            Succeeded(0));
  EXPECT_EQ(WaitForSingleObject(automatic, 0), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForMultipleObjects(1, &automatic, TRUE, 20), WAIT_TIMEOUT);
  EXPECT_TRUE(CloseHandle(automatic));

  HANDLE events[3];
  for (auto &each : events) each = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  SetEvent(events[2]);
  SetEvent(events[1]);
  EXPECT_EQ(WaitForMultipleObjects(3, events, FALSE, 0), WAIT_OBJECT_0 + 1);
  EXPECT_EQ(WaitForMultipleObjects(3, events, FALSE, 0), WAIT_OBJECT_0 + 2);
  EXPECT_EQ(WaitForMultipleObjects(3, events, FALSE, 0), WAIT_TIMEOUT);

  SetEvent(events[0]);
  EXPECT_EQ(WaitForMultipleObjects(2, events, TRUE, 0), WAIT_TIMEOUT);
  // The wait took nothing: the first event is still set.
  EXPECT_EQ(WaitForSingleObject(events[0], 0), WAIT_OBJECT_0);
  SetEvent(events[0]);
  SetEvent(events[1]);
  EXPECT_EQ(WaitForMultipleObjects(2, events, TRUE, 0), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(events[0], 0), WAIT_TIMEOUT);
  EXPECT_EQ(WaitForSingleObject(events[1], 0), WAIT_TIMEOUT);
  for (HANDLE each : events) CloseHandle(each);

  // Moving a handle: the source is closed, the result names the same event and is not
  // inheritable. (A copy that outlives its original is the pipe tests' write end.)
  HANDLE moved = nullptr;
  ASSERT_TRUE(DuplicateHandle(GetCurrentProcess(), CreateEventA(nullptr, TRUE, FALSE, nullptr),
                              GetCurrentProcess(), &moved, 0, FALSE,
                              DUPLICATE_SAME_ACCESS | DUPLICATE_CLOSE_SOURCE));
  EXPECT_TRUE(SetEvent(moved));
  EXPECT_EQ(WaitForSingleObject(moved, 0), WAIT_OBJECT_0);
  DWORD flags = kMarker;
  EXPECT_TRUE(GetHandleInformation(moved, &flags));
  EXPECT_EQ(flags, 0u);
  EXPECT_TRUE(CloseHandle(moved));
  // A handle opened without modify rights cannot set the original.
  HANDLE named = CreateEventA(nullptr, TRUE, FALSE, "ConformanceRightsEvent");
  HANDLE waiter = OpenEventA(SYNCHRONIZE, FALSE, "ConformanceRightsEvent");
  ASSERT_NE(waiter, nullptr);
  EXPECT_EQ(Try([&] { return SetEvent(waiter); }), Failed(ERROR_ACCESS_DENIED));
  EXPECT_EQ(WaitForSingleObject(waiter, 0), WAIT_TIMEOUT);
  SetEvent(named);
  EXPECT_EQ(WaitForSingleObject(waiter, 0), WAIT_OBJECT_0);
  // One opened without SYNCHRONIZE cannot wait, however its original stands.
  HANDLE setter = OpenEventA(EVENT_MODIFY_STATE, FALSE, "ConformanceRightsEvent");
  ASSERT_NE(setter, nullptr);
  EXPECT_EQ(Try([&] { return WaitForSingleObject(setter, 0) != WAIT_FAILED; }),
            Failed(ERROR_ACCESS_DENIED));
  EXPECT_TRUE(ResetEvent(setter));
  EXPECT_EQ(WaitForSingleObject(waiter, 0), WAIT_TIMEOUT);
  CloseHandle(setter);
  CloseHandle(waiter);
  CloseHandle(named);

  // The current process and thread are not signalled while they run, and closing their pseudo
  // handles does nothing and succeeds.
  EXPECT_EQ(WaitForSingleObject(GetCurrentProcess(), 0), WAIT_TIMEOUT);
  EXPECT_EQ(WaitForSingleObject(GetCurrentThread(), 0), WAIT_TIMEOUT);
  code = kMarker;
  EXPECT_TRUE(GetExitCodeProcess(GetCurrentProcess(), &code));
  EXPECT_EQ(code, static_cast<DWORD>(STILL_ACTIVE));
  EXPECT_TRUE(CloseHandle(GetCurrentProcess()));
  EXPECT_TRUE(CloseHandle(GetCurrentThread()));
  EXPECT_EQ(WaitForSingleObject(GetCurrentProcess(), 0), WAIT_TIMEOUT);
}

constexpr DWORD kErrorNotOwner = 288;

// The calls of the namespace table, each given the object's name.
using Make = HANDLE (*)(const char *name);
const Make kCreateEventA = [](const char *name) {
  return CreateEventA(nullptr, TRUE, FALSE, name);
};
const Make kCreateEventW = [](const char *name) {
  return CreateEventW(nullptr, TRUE, FALSE, conformance::Widen(name).c_str());
};
const Make kOpenEventA = [](const char *name) { return OpenEventA(EVENT_ALL_ACCESS, FALSE, name); };
const Make kCreateMutexA = [](const char *name) { return CreateMutexA(nullptr, FALSE, name); };
const Make kCreateMutexW = [](const char *name) {
  return CreateMutexW(nullptr, FALSE, conformance::Widen(name).c_str());
};
const Make kOpenMutexA = [](const char *name) { return OpenMutexA(MUTEX_ALL_ACCESS, FALSE, name); };

// Creating an existing event opens it, and a name disappears with its last handle. Then each
// call of the table in turn, every handle kept until the end: whether it gives a handle, and the
// last error after it (the marker: left alone).
TEST_F(Synchronisation,
       NamedEventsAndMutexesShareOneNamespaceAndAMutexIsOwnedRecursivelyUntilAbandoned) {
  // The wide form names the same object; its own reset mode and state are ignored. (The last
  // errors of a create that makes and one that opens are the namespace table's.)
  HANDLE first = CreateEventA(nullptr, TRUE, FALSE, "ConformanceSharedEvent");
  HANDLE second = CreateEventW(nullptr, FALSE, TRUE, TEXT("ConformanceSharedEvent"));
  ASSERT_TRUE(first != nullptr && second != nullptr);
  EXPECT_NE(second, first);
  EXPECT_EQ(WaitForSingleObject(first, 0), WAIT_TIMEOUT);

  SetEvent(second);
  EXPECT_EQ(WaitForSingleObject(first, 0), WAIT_OBJECT_0);
  CloseHandle(second);
  CloseHandle(first);

  // A name disappears with its last handle.
  HANDLE event = CreateEventA(nullptr, TRUE, TRUE, "ConformanceShortLived");
  HANDLE opened = OpenEventA(EVENT_ALL_ACCESS, FALSE, "ConformanceShortLived");
  ASSERT_NE(opened, nullptr);
  CloseHandle(event);
  EXPECT_EQ(WaitForSingleObject(opened, 0), WAIT_OBJECT_0);
  CloseHandle(opened);

  EXPECT_EQ(Try([] { return OpenEventA(EVENT_ALL_ACCESS, FALSE, "ConformanceShortLived"); }),
            Failed(ERROR_FILE_NOT_FOUND));

  // Each call, the name it is given and what it gives.
  const std::tuple<Make, const char *, conformance::Outcome> steps[] = {
      // Names are compared with case.
      {kCreateEventA, "ConformanceCase", Succeeded(0)},
      {kOpenEventA, "conformancecase", Failed(ERROR_FILE_NOT_FOUND)},
      {kCreateEventA, "CONFORMANCECASE", Succeeded(0)},
      // A mutex's name cannot be used for an event, nor an event's for a mutex.
      {kCreateMutexA, "ConformanceTakenName", Succeeded(0)},
      {kCreateEventA, "ConformanceTakenName", Failed(ERROR_INVALID_HANDLE)},
      {kOpenEventA, "ConformanceTakenName", Failed(ERROR_INVALID_HANDLE)},
      {kCreateEventW, "ConformanceTakenByEvent", Succeeded(0)},
      {kCreateMutexW, "ConformanceTakenByEvent", Failed(ERROR_INVALID_HANDLE)},
      // A global name is found under the same global name; without the prefix it is another
      // object, which the "Local\" prefix names.
      {kCreateMutexW, "Global\\ConformanceGlobalMutex", Succeeded(0)},
      {kOpenMutexA, "Global\\ConformanceGlobalMutex", Succeeded()},
      {kCreateEventA, "Global\\ConformancePrefixed", Succeeded(0)},
      {kCreateEventA, "ConformancePrefixed", Succeeded(0)},
      {kCreateEventA, "Local\\ConformancePrefixed", Succeeded(ERROR_ALREADY_EXISTS)},
      // A name with an unknown folder, and no name to open.
      {kCreateEventA, "NoSuchFolder\\ConformanceEvent", Failed(ERROR_PATH_NOT_FOUND)},
      {kOpenEventA, nullptr, Failed(ERROR_INVALID_PARAMETER)},
  };
  std::vector<HANDLE> handles;
  for (const auto &step : steps) {
    const auto &[call, name, outcome] = step;
    HANDLE handle = nullptr;
    EXPECT_EQ(Try([&] { return handle = call(name); }), outcome)
        << "step " << &step - steps << ": " << (name != nullptr ? name : "(null)");
    if (handle != nullptr) handles.push_back(handle);
  }
  for (HANDLE handle : handles) CloseHandle(handle);

  // A mutex is owned recursively and released once per taking; creating an existing one does
  // not take it for the caller. One whose owner ended is handed over as abandoned.
  HANDLE owned = CreateMutexA(nullptr, TRUE, "ConformanceOwnedMutex");
  EXPECT_EQ(WaitForSingleObject(owned, 0), WAIT_OBJECT_0);
  EXPECT_TRUE(ReleaseMutex(owned));
  EXPECT_TRUE(ReleaseMutex(owned));
  EXPECT_EQ(Try([&] { return ReleaseMutex(owned); }), Failed(kErrorNotOwner));
  HANDLE again = nullptr;
  EXPECT_EQ(Try([&] { return again = CreateMutexA(nullptr, TRUE, "ConformanceOwnedMutex"); }),
            Succeeded(ERROR_ALREADY_EXISTS));
  EXPECT_EQ(Try([&] { return ReleaseMutex(again); }), Failed(kErrorNotOwner));
  CloseHandle(again);
  CloseHandle(owned);

  HANDLE unset = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  HANDLE mutex = CreateMutexA(nullptr, FALSE, "ConformanceAbandoned");
  const LPTHREAD_START_ROUTINE take_and_end = [](LPVOID taken) {
    return WaitForSingleObject(static_cast<HANDLE>(taken), INFINITE);
  };
  const LPTHREAD_START_ROUTINE try_to_take = [](LPVOID taken) {
    return WaitForSingleObject(static_cast<HANDLE>(taken), 0);
  };
  EXPECT_EQ(JoinThread(CreateThread(nullptr, 0, take_and_end, mutex, 0, nullptr)),
            static_cast<DWORD>(WAIT_OBJECT_0));
  EXPECT_EQ(WaitForSingleObject(mutex, 0), static_cast<DWORD>(WAIT_ABANDONED));
  // The new owner holds it normally now, and once released it is taken normally.
  EXPECT_EQ(JoinThread(CreateThread(nullptr, 0, try_to_take, mutex, 0, nullptr)),
            static_cast<DWORD>(WAIT_TIMEOUT));
  EXPECT_TRUE(ReleaseMutex(mutex));
  EXPECT_EQ(JoinThread(CreateThread(nullptr, 0, take_and_end, mutex, 0, nullptr)),
            static_cast<DWORD>(WAIT_OBJECT_0));
  HANDLE both[] = {unset, mutex};
  EXPECT_EQ(WaitForMultipleObjects(2, both, FALSE, 0), static_cast<DWORD>(WAIT_ABANDONED_0 + 1));
  EXPECT_TRUE(ReleaseMutex(mutex));
  CloseHandle(mutex);
  CloseHandle(unset);
}

}  // namespace
