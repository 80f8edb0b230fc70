// Events and waits: auto- and manual-reset events, waits on one or many objects, time-outs and
// invalid handles.
#include "Conformance.h"

namespace {

using conformance::kMarker;

class EventsAndWaits : public conformance::Fixture {};

DWORD WINAPI WaitOnEvent(LPVOID event) {
  return WaitForSingleObject(static_cast<HANDLE>(event), INFINITE) == WAIT_OBJECT_0 ? 1 : 2;
}

// An auto-reset event releases one waiter per set; a manual-reset one stays set for every
// waiter until reset.
TEST_F(EventsAndWaits, AnAutoResetEventReleasesOneWaiterPerSetAManualOneAllUntilReset) {
  HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  HANDLE threads[2];
  for (auto &thread : threads) thread = CreateThread(nullptr, 0, WaitOnEvent, event, 0, nullptr);
  EXPECT_EQ(WaitForMultipleObjects(2, threads, FALSE, 0), WAIT_TIMEOUT);

  EXPECT_TRUE(SetEvent(event));
  DWORD first = WaitForMultipleObjects(2, threads, FALSE, INFINITE);
  ASSERT_TRUE(first == WAIT_OBJECT_0 || first == WAIT_OBJECT_0 + 1) << first;
  HANDLE other = threads[1 - (first - WAIT_OBJECT_0)];
  // The one set released one waiter and the event reset itself.
  EXPECT_EQ(WaitForSingleObject(other, 50), WAIT_TIMEOUT);
  EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_TIMEOUT);

  EXPECT_TRUE(SetEvent(event));
  for (HANDLE thread : threads) EXPECT_EQ(conformance::JoinThread(thread), 1u);
  CloseHandle(event);

  event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  for (auto &thread : threads) thread = CreateThread(nullptr, 0, WaitOnEvent, event, 0, nullptr);
  EXPECT_TRUE(SetEvent(event));
  EXPECT_EQ(WaitForMultipleObjects(2, threads, TRUE, INFINITE), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0);
  SetLastError(kMarker);
  EXPECT_TRUE(ResetEvent(event));
  EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_TIMEOUT);
  // A reset of an event that is not set succeeds as well.
  EXPECT_TRUE(ResetEvent(event));
  for (HANDLE thread : threads) EXPECT_EQ(conformance::JoinThread(thread), 1u);
  CloseHandle(event);
}

TEST_F(EventsAndWaits, AnEventIsCreatedSetOrNotWithTheLastErrorClearedAndWaitsRunOut) {
  SetLastError(kMarker);
  HANDLE manual = CreateEventW(nullptr, TRUE, TRUE, nullptr);
  ASSERT_NE(manual, nullptr);
  EXPECT_EQ(GetLastError(), 0u);
  HANDLE automatic = CreateEventW(nullptr, FALSE, TRUE, nullptr);
  EXPECT_EQ(WaitForSingleObject(manual, 0), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(manual, 0), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(automatic, 0), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(automatic, 0), WAIT_TIMEOUT);
  EXPECT_EQ(WaitForSingleObject(automatic, 20), WAIT_TIMEOUT);
  EXPECT_EQ(WaitForMultipleObjects(1, &automatic, TRUE, 20), WAIT_TIMEOUT);
  EXPECT_TRUE(CloseHandle(manual));
  CloseHandle(automatic);
}

// Waiting for any returns the lowest signalled index and takes only that object; waiting for all
// needs every object and takes none until then.
TEST_F(EventsAndWaits, WaitingForAnyTakesTheLowestSignalledAndForAllEveryOneOrNone) {
  HANDLE events[3];
  for (auto &event : events) event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
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
  for (HANDLE event : events) CloseHandle(event);
}

TEST_F(EventsAndWaits, AWaitOnAClosedOrBadHandleFailsWithAnInvalidHandle) {
  if (conformance::HandleMisuseStops()) GTEST_SKIP() << "winsim stops the run instead";
  HANDLE event = CreateEventA(nullptr, TRUE, TRUE, nullptr);
  HANDLE kept = CreateEventA(nullptr, TRUE, TRUE, nullptr);
  ASSERT_TRUE(CloseHandle(event));

  SetLastError(kMarker);
  EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_FAILED);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));

  SetLastError(kMarker);
  EXPECT_EQ(WaitForSingleObject(nullptr, 0), WAIT_FAILED);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));

  // One bad handle among good ones fails the whole wait, signalled or not.
  HANDLE mixed[] = {kept, reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(0x7ff0))};
  SetLastError(kMarker);
  EXPECT_EQ(WaitForMultipleObjects(2, mixed, FALSE, 0), WAIT_FAILED);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));

  SetLastError(kMarker);
  EXPECT_FALSE(CloseHandle(event));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  SetLastError(kMarker);
  EXPECT_FALSE(SetEvent(event));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  // Waiting for no objects is an invalid parameter (Application Verifier stops the program).
  SetLastError(kMarker);
  EXPECT_EQ(WaitForMultipleObjects(0, &kept, FALSE, 0), WAIT_FAILED);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  CloseHandle(kept);
}

TEST_F(EventsAndWaits, ADuplicatedHandleNamesTheSameEventAndAHandleLacksWhatItsRightsLack) {
  HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  HANDLE copy = nullptr;
  ASSERT_TRUE(DuplicateHandle(GetCurrentProcess(), event, GetCurrentProcess(), &copy, 0, FALSE,
                              DUPLICATE_SAME_ACCESS));
  ASSERT_NE(copy, event);
  EXPECT_TRUE(CloseHandle(event));
  EXPECT_TRUE(SetEvent(copy));
  EXPECT_EQ(WaitForSingleObject(copy, 0), WAIT_OBJECT_0);
  DWORD flags = kMarker;
  EXPECT_TRUE(GetHandleInformation(copy, &flags));
  EXPECT_EQ(flags, 0u);

  // Moving a handle: the source is closed, the result works.
  HANDLE moved = nullptr;
  ASSERT_TRUE(DuplicateHandle(GetCurrentProcess(), copy, GetCurrentProcess(), &moved, 0, FALSE,
                              DUPLICATE_SAME_ACCESS | DUPLICATE_CLOSE_SOURCE));
  EXPECT_EQ(WaitForSingleObject(moved, 0), WAIT_OBJECT_0);
  EXPECT_TRUE(CloseHandle(moved));
  if (!conformance::HandleMisuseStops()) {
    SetLastError(kMarker);
    EXPECT_FALSE(GetHandleInformation(moved, &flags));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  }
  // A handle opened without modify rights cannot set the event.
  HANDLE named = CreateEventA(nullptr, TRUE, FALSE, "ConformanceRightsEvent");
  HANDLE waiter = OpenEventA(SYNCHRONIZE, FALSE, "ConformanceRightsEvent");
  ASSERT_NE(waiter, nullptr);
  SetLastError(kMarker);
  EXPECT_FALSE(SetEvent(waiter));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_EQ(WaitForSingleObject(waiter, 0), WAIT_TIMEOUT);
  SetEvent(named);
  EXPECT_EQ(WaitForSingleObject(waiter, 0), WAIT_OBJECT_0);
  // One opened without SYNCHRONIZE cannot wait, however its event stands.
  HANDLE setter = OpenEventA(EVENT_MODIFY_STATE, FALSE, "ConformanceRightsEvent");
  ASSERT_NE(setter, nullptr);
  SetLastError(kMarker);
  EXPECT_EQ(WaitForSingleObject(setter, 0), WAIT_FAILED);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_TRUE(ResetEvent(setter));
  EXPECT_EQ(WaitForSingleObject(waiter, 0), WAIT_TIMEOUT);
  CloseHandle(setter);
  CloseHandle(waiter);
  CloseHandle(named);
}

TEST_F(EventsAndWaits, TheCurrentProcessAndThreadAreNotSignalledWhileTheyRun) {
  EXPECT_EQ(WaitForSingleObject(GetCurrentProcess(), 0), WAIT_TIMEOUT);
  EXPECT_EQ(WaitForSingleObject(GetCurrentThread(), 0), WAIT_TIMEOUT);
  DWORD code = kMarker;
  EXPECT_TRUE(GetExitCodeProcess(GetCurrentProcess(), &code));
  EXPECT_EQ(code, static_cast<DWORD>(STILL_ACTIVE));
  // Closing a pseudo handle does nothing and succeeds.
  SetLastError(kMarker);
  EXPECT_TRUE(CloseHandle(GetCurrentProcess()));
  EXPECT_TRUE(CloseHandle(GetCurrentThread()));
  EXPECT_EQ(WaitForSingleObject(GetCurrentProcess(), 0), WAIT_TIMEOUT);
}

}  // namespace
