// Named kernel objects: one namespace for events and mutexes, existing names, lifetime, the
// "Global\" prefix, and mutex ownership including abandonment.
#include "Conformance.h"

namespace {

using conformance::kMarker;

class NamedObjects : public conformance::Fixture {};

// Runs the child program in `mode` with `argument` and returns its exit code.
DWORD RunChild(const conformance::WString &mode, const conformance::WString &argument) {
  conformance::WString line =
      conformance::ChildCommandLine(conformance::ChildImage(), mode, argument);
  STARTUPINFOW si = {};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi = {};
  if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
    return kMarker;
  WaitForSingleObject(pi.hProcess, INFINITE);
  DWORD code = kMarker;
  GetExitCodeProcess(pi.hProcess, &code);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  return code;
}

constexpr DWORD kErrorNotOwner = 288;

TEST_F(NamedObjects, CreatingAnExistingEventOpensItAndSaysAlreadyExists) {
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
}

TEST_F(NamedObjects, OpeningAMissingEventIsFileNotFound) {
  SetLastError(kMarker);
  EXPECT_EQ(OpenEventA(EVENT_ALL_ACCESS, FALSE, "ConformanceNoSuchEvent"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  SetLastError(kMarker);
  EXPECT_EQ(OpenMutexA(MUTEX_ALL_ACCESS, FALSE, "ConformanceNoSuchMutex"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST_F(NamedObjects, ANameDisappearsWithItsLastHandle) {
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

TEST_F(NamedObjects, NamesAreComparedWithCase) {
  HANDLE event = CreateEventA(nullptr, TRUE, FALSE, "ConformanceCase");
  SetLastError(kMarker);
  EXPECT_EQ(OpenEventA(EVENT_ALL_ACCESS, FALSE, "conformancecase"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  SetLastError(kMarker);
  HANDLE other = CreateEventA(nullptr, TRUE, FALSE, "CONFORMANCECASE");
  EXPECT_EQ(GetLastError(), 0u);
  CloseHandle(other);
  CloseHandle(event);
}

TEST_F(NamedObjects, AMutexNameCannotBeUsedForAnEvent) {
  HANDLE mutex = CreateMutexA(nullptr, FALSE, "ConformanceTakenName");
  ASSERT_NE(mutex, nullptr);
  SetLastError(kMarker);
  EXPECT_EQ(CreateEventA(nullptr, TRUE, FALSE, "ConformanceTakenName"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  SetLastError(kMarker);
  EXPECT_EQ(OpenEventA(EVENT_ALL_ACCESS, FALSE, "ConformanceTakenName"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  CloseHandle(mutex);

  HANDLE event = CreateEventW(nullptr, TRUE, FALSE, TEXT("ConformanceTakenByEvent"));
  SetLastError(kMarker);
  EXPECT_EQ(CreateMutexW(nullptr, FALSE, TEXT("ConformanceTakenByEvent")), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  CloseHandle(event);
}

TEST_F(NamedObjects, AGlobalNameIsFoundUnderTheSameGlobalName) {
  SetLastError(kMarker);
  HANDLE mutex = CreateMutexW(nullptr, FALSE, TEXT("Global\\ConformanceGlobalMutex"));
  ASSERT_NE(mutex, nullptr);
  EXPECT_EQ(GetLastError(), 0u);
  SetLastError(kMarker);
  HANDLE again = CreateMutexA(nullptr, TRUE, "Global\\ConformanceGlobalMutex");
  ASSERT_NE(again, nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
  HANDLE opened = OpenMutexA(MUTEX_ALL_ACCESS, FALSE, "Global\\ConformanceGlobalMutex");
  EXPECT_NE(opened, nullptr);
  CloseHandle(opened);
  CloseHandle(again);
  CloseHandle(mutex);
}

TEST_F(NamedObjects, AGlobalNameAndTheSameNameWithoutPrefixAreDifferentObjects) {
  HANDLE global = CreateEventA(nullptr, TRUE, FALSE, "Global\\ConformancePrefixed");
  SetLastError(kMarker);
  HANDLE local = CreateEventA(nullptr, TRUE, FALSE, "ConformancePrefixed");
  EXPECT_EQ(GetLastError(), 0u);
  SetLastError(kMarker);
  HANDLE prefixed_local = CreateEventA(nullptr, TRUE, FALSE, "Local\\ConformancePrefixed");
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
  CloseHandle(prefixed_local);
  CloseHandle(local);
  CloseHandle(global);
}

TEST_F(NamedObjects, ANameWithAnUnknownFolderIsPathNotFound) {
  SetLastError(kMarker);
  EXPECT_EQ(CreateEventA(nullptr, TRUE, FALSE, "NoSuchFolder\\ConformanceEvent"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
  SetLastError(kMarker);
  EXPECT_EQ(OpenEventA(EVENT_ALL_ACCESS, FALSE, nullptr), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST_F(NamedObjects, AnObjectOfTheWrongTypeIsAnInvalidHandle) {
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

TEST_F(NamedObjects, AnotherProcessOpensANamedEventByItsName) {
  HANDLE event = CreateEventW(nullptr, TRUE, FALSE, TEXT("ConformanceCrossProcess"));
  EXPECT_EQ(RunChild(TEXT("setnamed"), TEXT("ConformanceCrossProcess")), 0u);
  EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0);
  CloseHandle(event);
  // Once its last handle is gone, the other process no longer finds it.
  EXPECT_EQ(RunChild(TEXT("setnamed"), TEXT("ConformanceCrossProcess")),
            static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST_F(NamedObjects, AMutexHeldByAProcessThatEndsIsAbandoned) {
  HANDLE mutex = CreateMutexW(nullptr, FALSE, TEXT("ConformanceHeldByChild"));
  EXPECT_EQ(RunChild(TEXT("takemutex"), TEXT("ConformanceHeldByChild")),
            static_cast<DWORD>(WAIT_OBJECT_0));
  EXPECT_EQ(WaitForSingleObject(mutex, INFINITE), static_cast<DWORD>(WAIT_ABANDONED));
  EXPECT_TRUE(ReleaseMutex(mutex));
  CloseHandle(mutex);
}

TEST_F(NamedObjects, CreatingAnExistingMutexDoesNotTakeItForTheCaller) {
  HANDLE mutex = CreateMutexA(nullptr, FALSE, "ConformanceOwnedMutex");
  SetLastError(kMarker);
  HANDLE again = CreateMutexA(nullptr, TRUE, "ConformanceOwnedMutex");
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
  SetLastError(kMarker);
  EXPECT_FALSE(ReleaseMutex(again));
  EXPECT_EQ(GetLastError(), kErrorNotOwner);
  CloseHandle(again);
  CloseHandle(mutex);
}

TEST_F(NamedObjects, AMutexIsOwnedRecursivelyAndReleasedOncePerTaking) {
  HANDLE mutex = CreateMutexW(nullptr, TRUE, nullptr);
  EXPECT_EQ(WaitForSingleObject(mutex, 0), WAIT_OBJECT_0);
  EXPECT_TRUE(ReleaseMutex(mutex));
  EXPECT_TRUE(ReleaseMutex(mutex));
  SetLastError(kMarker);
  EXPECT_FALSE(ReleaseMutex(mutex));
  EXPECT_EQ(GetLastError(), kErrorNotOwner);
  CloseHandle(mutex);
}

DWORD WINAPI TakeAndEnd(LPVOID mutex) {
  return WaitForSingleObject(static_cast<HANDLE>(mutex), INFINITE);
}

DWORD WINAPI TryToTake(LPVOID mutex) {
  return WaitForSingleObject(static_cast<HANDLE>(mutex), 0);
}

TEST_F(NamedObjects, AMutexWhoseOwnerEndedIsHandedOverAsAbandoned) {
  HANDLE mutex = CreateMutexA(nullptr, FALSE, "ConformanceAbandoned");
  EXPECT_EQ(conformance::JoinThread(CreateThread(nullptr, 0, TakeAndEnd, mutex, 0, nullptr)),
            static_cast<DWORD>(WAIT_OBJECT_0));

  EXPECT_EQ(WaitForSingleObject(mutex, 0), static_cast<DWORD>(WAIT_ABANDONED));
  // The new owner holds it normally now.
  EXPECT_EQ(conformance::JoinThread(CreateThread(nullptr, 0, TryToTake, mutex, 0, nullptr)),
            static_cast<DWORD>(WAIT_TIMEOUT));
  EXPECT_TRUE(ReleaseMutex(mutex));
  EXPECT_EQ(WaitForSingleObject(mutex, 0), WAIT_OBJECT_0);
  EXPECT_TRUE(ReleaseMutex(mutex));
  CloseHandle(mutex);
}

TEST_F(NamedObjects, AnAbandonedMutexInAWaitForAnyGivesTheAbandonedIndex) {
  HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  HANDLE mutex = CreateMutexA(nullptr, FALSE, nullptr);
  conformance::JoinThread(CreateThread(nullptr, 0, TakeAndEnd, mutex, 0, nullptr));
  HANDLE both[] = {event, mutex};
  EXPECT_EQ(WaitForMultipleObjects(2, both, FALSE, 0), static_cast<DWORD>(WAIT_ABANDONED_0 + 1));
  ReleaseMutex(mutex);
  CloseHandle(mutex);
  CloseHandle(event);
}

}  // namespace
