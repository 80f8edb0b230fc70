// Named kernel objects: one namespace for events and mutexes, existing names, lifetime, the
// "Global\" prefix, and mutex ownership including abandonment.
#include <vector>

#include "Conformance.h"

namespace {

using conformance::kMarker;

class NamedObjects : public conformance::Fixture {};

// Runs the child program in `mode` with `argument` and returns its exit code.
DWORD RunChild(const conformance::WString &mode, const conformance::WString &argument) {
  std::string output;
  return static_cast<DWORD>(conformance::RunCaptured(
      conformance::ChildCommandLine(conformance::ChildImage(), mode, argument),
      conformance::WString(), &output));
}

constexpr DWORD kErrorNotOwner = 288;

TEST_F(NamedObjects, CreatingAnExistingEventOpensItAndANameDisappearsWithItsLastHandle) {
  SetLastError(kMarker);
  HANDLE first = CreateEventA(nullptr, TRUE, FALSE, "ConformanceSharedEvent");
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(GetLastError(), 0u);

  SetLastError(kMarker);
  // The wide form names the same object; its own reset mode and state are ignored.
  HANDLE second = CreateEventW(nullptr, FALSE, TRUE, TEXT("ConformanceSharedEvent"));
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
  EXPECT_NE(second, first);
  EXPECT_EQ(WaitForSingleObject(first, 0), WAIT_TIMEOUT);

  SetEvent(second);
  EXPECT_EQ(WaitForSingleObject(first, 0), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(first, 0), WAIT_OBJECT_0);  // still manual-reset
  CloseHandle(second);
  CloseHandle(first);

  // A name disappears with its last handle.
  HANDLE event = CreateEventA(nullptr, TRUE, TRUE, "ConformanceShortLived");
  HANDLE opened = OpenEventA(EVENT_ALL_ACCESS, FALSE, "ConformanceShortLived");
  ASSERT_NE(opened, nullptr);
  CloseHandle(event);
  EXPECT_EQ(WaitForSingleObject(opened, 0), WAIT_OBJECT_0);
  CloseHandle(opened);

  SetLastError(kMarker);
  EXPECT_EQ(OpenEventA(EVENT_ALL_ACCESS, FALSE, "ConformanceShortLived"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  SetLastError(kMarker);
  HANDLE fresh = CreateEventA(nullptr, TRUE, FALSE, "ConformanceShortLived");
  EXPECT_EQ(GetLastError(), 0u);
  EXPECT_EQ(WaitForSingleObject(fresh, 0), WAIT_TIMEOUT);
  CloseHandle(fresh);
}

enum class Call {
  kCreateEventA,
  kCreateEventW,
  kOpenEventA,
  kCreateMutexA,
  kCreateMutexW,
  kOpenMutexA
};

HANDLE Make(Call call, const char *name) {
  const conformance::WString wide =
      name != nullptr ? conformance::Widen(name) : conformance::WString();
  switch (call) {
    case Call::kCreateEventA:
      return CreateEventA(nullptr, TRUE, FALSE, name);
    case Call::kCreateEventW:
      return CreateEventW(nullptr, TRUE, FALSE, wide.c_str());
    case Call::kOpenEventA:
      return OpenEventA(EVENT_ALL_ACCESS, FALSE, name);
    case Call::kCreateMutexA:
      return CreateMutexA(nullptr, FALSE, name);
    case Call::kCreateMutexW:
      return CreateMutexW(nullptr, FALSE, wide.c_str());
    case Call::kOpenMutexA:
      return OpenMutexA(MUTEX_ALL_ACCESS, FALSE, name);
  }
  return nullptr;
}

// Each call in turn, every handle kept until the end: whether it gives a handle, and the last
// error after it (the marker: left alone).
TEST_F(NamedObjects, EventsAndMutexesShareOneNamespaceWithCaseAndPrefixes) {
  struct Step {
    Call call;
    const char *name;
    bool made;
    DWORD error;
  };
  const Step steps[] = {
      {Call::kOpenEventA, "ConformanceNoSuchEvent", false, ERROR_FILE_NOT_FOUND},
      {Call::kOpenMutexA, "ConformanceNoSuchMutex", false, ERROR_FILE_NOT_FOUND},
      // Names are compared with case.
      {Call::kCreateEventA, "ConformanceCase", true, 0},
      {Call::kOpenEventA, "conformancecase", false, ERROR_FILE_NOT_FOUND},
      {Call::kCreateEventA, "CONFORMANCECASE", true, 0},
      // A mutex's name cannot be used for an event, nor an event's for a mutex.
      {Call::kCreateMutexA, "ConformanceTakenName", true, 0},
      {Call::kCreateEventA, "ConformanceTakenName", false, ERROR_INVALID_HANDLE},
      {Call::kOpenEventA, "ConformanceTakenName", false, ERROR_INVALID_HANDLE},
      {Call::kCreateEventW, "ConformanceTakenByEvent", true, 0},
      {Call::kCreateMutexW, "ConformanceTakenByEvent", false, ERROR_INVALID_HANDLE},
      // A global name is found under the same global name; without the prefix it is another
      // object, which the "Local\" prefix names.
      {Call::kCreateMutexW, "Global\\ConformanceGlobalMutex", true, 0},
      {Call::kCreateMutexA, "Global\\ConformanceGlobalMutex", true, ERROR_ALREADY_EXISTS},
      {Call::kOpenMutexA, "Global\\ConformanceGlobalMutex", true, kMarker},
      {Call::kCreateEventA, "Global\\ConformancePrefixed", true, 0},
      {Call::kCreateEventA, "ConformancePrefixed", true, 0},
      {Call::kCreateEventA, "Local\\ConformancePrefixed", true, ERROR_ALREADY_EXISTS},
      // A name with an unknown folder, and no name to open.
      {Call::kCreateEventA, "NoSuchFolder\\ConformanceEvent", false, ERROR_PATH_NOT_FOUND},
      {Call::kOpenEventA, nullptr, false, ERROR_INVALID_PARAMETER},
  };
  std::vector<HANDLE> handles;
  for (const Step &step : steps) {
    SCOPED_TRACE(::testing::Message() << static_cast<int>(step.call) << " "
                                      << (step.name != nullptr ? step.name : "(null)"));
    SetLastError(kMarker);
    HANDLE handle = Make(step.call, step.name);
    EXPECT_EQ(GetLastError(), step.error);
    EXPECT_EQ(handle != nullptr, step.made);
    if (handle != nullptr) handles.push_back(handle);
  }
  for (HANDLE handle : handles) CloseHandle(handle);
}

TEST_F(NamedObjects, AnObjectOfTheWrongTypeIsAnInvalidHandle) {
  if (conformance::HandleMisuseStops()) GTEST_SKIP() << "winsim stops the run instead";
  HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  HANDLE mutex = CreateMutexA(nullptr, FALSE, nullptr);
  SetLastError(kMarker);
  EXPECT_FALSE(ReleaseMutex(event));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  SetLastError(kMarker);
  EXPECT_FALSE(SetEvent(mutex));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  SetLastError(kMarker);
  EXPECT_FALSE(ResetEvent(mutex));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  CloseHandle(mutex);
  CloseHandle(event);
}

TEST_F(NamedObjects, AnotherProcessOpensANamedObjectAndAMutexItHeldAtItsEndIsAbandoned) {
  HANDLE event = CreateEventW(nullptr, TRUE, FALSE, TEXT("ConformanceCrossProcess"));
  EXPECT_EQ(RunChild(TEXT("setnamed"), TEXT("ConformanceCrossProcess")), 0u);
  EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0);
  CloseHandle(event);
  // Once its last handle is gone, the other process no longer finds it.
  EXPECT_EQ(RunChild(TEXT("setnamed"), TEXT("ConformanceCrossProcess")),
            static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  // A mutex the child held when it ended is abandoned.
  HANDLE mutex = CreateMutexW(nullptr, FALSE, TEXT("ConformanceHeldByChild"));
  EXPECT_EQ(RunChild(TEXT("takemutex"), TEXT("ConformanceHeldByChild")),
            static_cast<DWORD>(WAIT_OBJECT_0));
  EXPECT_EQ(WaitForSingleObject(mutex, INFINITE), static_cast<DWORD>(WAIT_ABANDONED));
  EXPECT_TRUE(ReleaseMutex(mutex));
  CloseHandle(mutex);
}

// A mutex is owned recursively and released once per taking; creating an existing one does not
// take it for the caller.
TEST_F(NamedObjects, AMutexIsOwnedRecursivelyAndNotTakenByCreatingItAgain) {
  HANDLE mutex = CreateMutexA(nullptr, TRUE, "ConformanceOwnedMutex");
  EXPECT_EQ(WaitForSingleObject(mutex, 0), WAIT_OBJECT_0);
  EXPECT_TRUE(ReleaseMutex(mutex));
  EXPECT_TRUE(ReleaseMutex(mutex));
  SetLastError(kMarker);
  EXPECT_FALSE(ReleaseMutex(mutex));
  EXPECT_EQ(GetLastError(), kErrorNotOwner);
  SetLastError(kMarker);
  HANDLE again = CreateMutexA(nullptr, TRUE, "ConformanceOwnedMutex");
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
  SetLastError(kMarker);
  EXPECT_FALSE(ReleaseMutex(again));
  EXPECT_EQ(GetLastError(), kErrorNotOwner);
  CloseHandle(again);
  CloseHandle(mutex);
}

DWORD WINAPI TakeAndEnd(LPVOID mutex) {
  return WaitForSingleObject(static_cast<HANDLE>(mutex), INFINITE);
}

DWORD WINAPI TryToTake(LPVOID mutex) {
  return WaitForSingleObject(static_cast<HANDLE>(mutex), 0);
}

TEST_F(NamedObjects, AMutexWhoseOwnerEndedIsHandedOverAsAbandonedToASingleOrAnAnyWait) {
  HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  HANDLE mutex = CreateMutexA(nullptr, FALSE, "ConformanceAbandoned");
  EXPECT_EQ(conformance::JoinThread(CreateThread(nullptr, 0, TakeAndEnd, mutex, 0, nullptr)),
            static_cast<DWORD>(WAIT_OBJECT_0));
  EXPECT_EQ(WaitForSingleObject(mutex, 0), static_cast<DWORD>(WAIT_ABANDONED));
  // The new owner holds it normally now, and once released it is taken normally.
  EXPECT_EQ(conformance::JoinThread(CreateThread(nullptr, 0, TryToTake, mutex, 0, nullptr)),
            static_cast<DWORD>(WAIT_TIMEOUT));
  EXPECT_TRUE(ReleaseMutex(mutex));
  EXPECT_EQ(conformance::JoinThread(CreateThread(nullptr, 0, TakeAndEnd, mutex, 0, nullptr)),
            static_cast<DWORD>(WAIT_OBJECT_0));
  HANDLE both[] = {event, mutex};
  EXPECT_EQ(WaitForMultipleObjects(2, both, FALSE, 0), static_cast<DWORD>(WAIT_ABANDONED_0 + 1));
  EXPECT_TRUE(ReleaseMutex(mutex));
  EXPECT_EQ(WaitForSingleObject(mutex, 0), WAIT_OBJECT_0);
  EXPECT_TRUE(ReleaseMutex(mutex));
  CloseHandle(mutex);
  CloseHandle(event);
}

}  // namespace
