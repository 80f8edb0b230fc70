// Threads: start, identity, exit codes and the signalled thread handle; critical sections.
#include "Conformance.h"

namespace {

using conformance::JoinThread;
using conformance::kMarker;

class Threads : public conformance::Fixture {};

DWORD WINAPI ReturnParameter(LPVOID parameter) {
  return static_cast<DWORD>(reinterpret_cast<ULONG_PTR>(parameter));
}

DWORD WINAPI ExitThroughExitThread(LPVOID) {
  ExitThread(7);
}

DWORD WINAPI OwnId(LPVOID) {
  return GetCurrentThreadId();
}

DWORD WINAPI WaitThenReturn(LPVOID event) {
  WaitForSingleObject(static_cast<HANDLE>(event), INFINITE);
  return 5;
}

unsigned __stdcall RuntimeThread(void *parameter) {
  return *static_cast<unsigned *>(parameter) * 2;
}

TEST_F(Threads, AThreadHandleIsSignalledAtExitWithTheReturnedCodeAndItsIdIsItsOwn) {
  SetLastError(kMarker);
  HANDLE thread = CreateThread(nullptr, 0, ReturnParameter,
                               reinterpret_cast<LPVOID>(static_cast<ULONG_PTR>(42)), 0, nullptr);
  ASSERT_NE(thread, nullptr);
  EXPECT_EQ(WaitForSingleObject(thread, INFINITE), WAIT_OBJECT_0);
  DWORD code = 0;
  EXPECT_TRUE(GetExitCodeThread(thread, &code));
  EXPECT_EQ(code, 42u);
  // An ended thread's handle stays signalled.
  EXPECT_EQ(WaitForSingleObject(thread, 0), WAIT_OBJECT_0);
  EXPECT_TRUE(CloseHandle(thread));
  // ExitThread ends it with its own code.
  EXPECT_EQ(JoinThread(CreateThread(nullptr, 0, ExitThroughExitThread, nullptr, 0, nullptr)), 7u);
  // The id given at creation is the thread's own.
  DWORD id = 0;
  EXPECT_EQ(JoinThread(CreateThread(nullptr, 0, OwnId, nullptr, 0, &id)), id);
  EXPECT_NE(id, 0u);
  EXPECT_NE(id, GetCurrentThreadId());
}

TEST_F(Threads, ARunningThreadReportsStillActiveAndTheRuntimesStartGivesAWaitableHandle) {
  HANDLE go = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  HANDLE thread = CreateThread(nullptr, 0, WaitThenReturn, go, 0, nullptr);
  DWORD code = 0;
  EXPECT_TRUE(GetExitCodeThread(thread, &code));
  EXPECT_EQ(code, static_cast<DWORD>(STILL_ACTIVE));
  EXPECT_EQ(WaitForSingleObject(thread, 0), WAIT_TIMEOUT);
  SetEvent(go);
  EXPECT_EQ(WaitForSingleObject(thread, INFINITE), WAIT_OBJECT_0);
  EXPECT_TRUE(GetExitCodeThread(thread, &code));
  EXPECT_EQ(code, 5u);
  CloseHandle(thread);
  CloseHandle(go);
  // A handle that is no thread has no exit code.
  if (!conformance::HandleMisuseStops()) {
    code = 1234;
    SetLastError(kMarker);
    EXPECT_FALSE(GetExitCodeThread(nullptr, &code));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  }
  // The runtime's thread start gives a waitable handle and the exit code.
  unsigned value = 21;
  unsigned id = 0;
  auto handle = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, RuntimeThread, &value, 0, &id));
  ASSERT_NE(handle, nullptr);
  EXPECT_NE(id, 0u);
  EXPECT_EQ(JoinThread(handle), 42u);
}

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

// A critical section held by one thread cannot be entered by another; its owner enters again
// without blocking. (A thread that ends holding one is a fault winsim stops the run for.)
TEST_F(Threads, ACriticalSectionHeldByOneThreadCannotBeEnteredByAnother) {
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
}

// The flag the status threads share is set by an exchange, which returns the value before.
TEST_F(Threads, AnInterlockedExchangeStoresTheValueAndReturnsTheOneBefore) {
  LONG flag = 0;
  EXPECT_EQ(InterlockedExchange(&flag, 1), 0);
  EXPECT_EQ(InterlockedExchange(&flag, 0), 1);
  EXPECT_EQ(flag, 0);
}

}  // namespace
