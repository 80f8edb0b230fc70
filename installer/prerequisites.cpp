#include "installer/prerequisites.h"

#include "installer/DebugOutput.h"
#include "installer/exit_codes.h"
#include "installer/registry_entries.h"
#include "installer/suite_service.h"

namespace {

constexpr unsigned kCentaurLeaves = 0xC0000000;
constexpr unsigned kCentaurFeatures = 0xC0000001;
// EDX of the features leaf: the engine exists (bit 6) and is enabled (bit 7).
constexpr unsigned kEngineExistsAndEnabled = 0xC0;
constexpr WCHAR kRunningMarker[] = TEXT("Global\\FALKUtility_Running_Mutex");

}  // namespace

bool SentrelPresent() {
  int registers[4] = {};  // EAX, EBX, ECX, EDX
  __cpuid(registers, static_cast<int>(kCentaurLeaves));
  if (static_cast<unsigned>(registers[0]) < kCentaurFeatures) return false;
  __cpuid(registers, static_cast<int>(kCentaurFeatures));
  return (static_cast<unsigned>(registers[3]) & kEngineExistsAndEnabled) == kEngineExistsAndEnabled;
}

bool SuiteRunningCheck(KernelHandle &marker) {
  HANDLE hMarker = CreateMutexW(nullptr, FALSE, kRunningMarker);
  if (hMarker == nullptr) return true;
  const bool bExisted = GetLastError() == ERROR_ALREADY_EXISTS;
  marker.Reset(hMarker);
  return bExisted;
}

int CheckPrerequisites(KernelHandle &marker) {
  if (!SentrelPresent()) {
    DebugPrint(TEXT("Sentrel does not exist. Installation stopped.\n"));
    return kExitNoSentrel;
  }
  if (PredecessorPresent()) {
    DebugPrint(TEXT("Old Version of PLIX exist. Installation stopped.\n"));
    return kExitPredecessor;
  }
  return CheckNotRunningAndStop(true, marker);
}

int CheckNotRunningAndStop(bool bDelete, KernelHandle &marker) {
  if (SuiteRunningCheck(marker)) {
    DebugPrint(TEXT("QORA is still running. Installation stopped.\n"));
    return kExitSuiteRunning;
  }
  if (StopSuiteService(bDelete) != kStopDone) {
    DebugPrint(TEXT("Service stop failed\n"));
    return kExitStopFailed;
  }
  return kExitSuccess;
}
