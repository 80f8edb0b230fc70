// The proxy library's stand-in for Windows (Kelpie.dll), so that the real ShellBeacon.exe can
// run on a machine without the encryption suite, under Wine for example. It exports its four
// functions under their decorated names (Kelpie.def). Its behaviour is set through values of
// HKLM "SOFTWARE\KelpieStandIn", read by kelp_Init:
//   "InitFails"    DWORD: non-zero makes kelp_Init return null (default 0)
//   "Volumes"      REG_MULTI_SZ, one "<from-ms> <drive> <field84> <field88>" per volume: lists
//                  handed out from <from-ms> milliseconds after kelp_Init on hold the volume,
//                  in the order of the items (default: none)
//   "ListFailsAt"  DWORD n: the n-th kelp_GetVolumeList call after kelp_Init fails with -1
//                  (default 0: none fails)
//   "CallLog"      REG_SZ, a file to which every call appends one line (default: no log):
//                    "<ms> kelp_Init <size> <version> <reserved> -> <handle>"
//                    "<ms> kelp_GetVolumeList <handle> -> <result> <list>"
//                    "<ms> kelp_FreeVolumeList <handle> <list> -> <result>"
//                    "<ms> kelp_Release <handle> -> <result>"
//                  with <ms> the milliseconds since kelp_Init and pointers in hexadecimal. A
//                  list that is not one handed out and not yet freed, or a handle that is not
//                  the open one, gives -1.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "notifier/Kelpie.h"
#include "standins/windows/StandInKey.h"

namespace {

constexpr StandInKey kKey("SOFTWARE\\KelpieStandIn");
constexpr int kFailed = -1;

struct Volume {
  ULONGLONG ullFromMs;
  std::int32_t nDrive;
  std::uint32_t dwField84;
  std::uint32_t dwField88;
};

// The one session this process may have open, and what kelp_Init read for it.
struct Session {
  bool bOpen = false;
  ULONGLONG ullInitTick = 0;
  std::vector<Volume> volumes;
  DWORD dwListFailsAt = 0;
  DWORD dwListCalls = 0;
  std::string strLog;
  std::vector<_UTL_VOLUME_STATUS *> liveLists;
};

Session g_session;
// The handle kelp_Init hands out: the address of the session.
void *const kHandle = &g_session;
SRWLOCK g_lock = SRWLOCK_INIT;

// The items of "Volumes" that read as four numbers; others are ignored.
std::vector<Volume> ReadVolumes() {
  std::vector<Volume> volumes;
  std::vector<BYTE> data;
  if (!kKey.Read("Volumes", REG_MULTI_SZ, data)) return volumes;
  std::string items(data.begin(), data.end());
  for (std::size_t pos = 0; pos < items.size();) {
    std::size_t end = items.find('\0', pos);
    if (end == std::string::npos) end = items.size();
    unsigned long long ullFrom = 0;
    long nDrive = 0;
    unsigned long dwField84 = 0, dwField88 = 0;
    if (std::sscanf(items.substr(pos, end - pos).c_str(), "%llu %ld %lu %lu", &ullFrom, &nDrive,
                    &dwField84, &dwField88) == 4)
      volumes.push_back({ullFrom, static_cast<std::int32_t>(nDrive),
                         static_cast<std::uint32_t>(dwField84),
                         static_cast<std::uint32_t>(dwField88)});
    pos = end + 1;
  }
  return volumes;
}

ULONGLONG MsSinceInit() {
  return GetTickCount64() - g_session.ullInitTick;
}

void AppendLog(const std::string &strLine) {
  if (g_session.strLog.empty()) return;
  HANDLE hFile =
      CreateFileA(g_session.strLog.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                  nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (hFile == INVALID_HANDLE_VALUE) return;
  std::string strText = std::to_string(MsSinceInit()) + " " + strLine + "\n";
  DWORD dwWritten = 0;
  WriteFile(hFile, strText.data(), static_cast<DWORD>(strText.size()), &dwWritten, nullptr);
  CloseHandle(hFile);
}

std::string PointerText(const void *p) {
  char szText[32];
  std::snprintf(szText, sizeof szText, "0x%llx",
                static_cast<unsigned long long>(reinterpret_cast<ULONG_PTR>(p)));
  return szText;
}

bool IsOpenHandle(void *hKelp) {
  return hKelp == kHandle && g_session.bOpen;
}

// A list of the volumes listed by now; null when there are none.
_UTL_VOLUME_STATUS *NewList() {
  std::vector<const Volume *> listed;
  for (const Volume &v : g_session.volumes)
    if (MsSinceInit() >= v.ullFromMs) listed.push_back(&v);
  if (listed.empty()) return nullptr;
  auto *records = static_cast<_UTL_VOLUME_STATUS *>(
      HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, listed.size() * sizeof(_UTL_VOLUME_STATUS)));
  if (records == nullptr) return nullptr;
  for (std::size_t i = 0; i < listed.size(); ++i) {
    records[i].nDriveNo = listed[i]->nDrive;
    records[i].dwAutoMounted = listed[i]->dwField84;
    records[i].dwDismounting = listed[i]->dwField88;
    records[i].pNext = i + 1 < listed.size() ? &records[i + 1] : nullptr;
  }
  g_session.liveLists.push_back(records);
  return records;
}

bool TakeBackList(_UTL_VOLUME_STATUS *pList) {
  std::vector<_UTL_VOLUME_STATUS *> &live = g_session.liveLists;
  for (auto it = live.begin(); it != live.end(); ++it)
    if (*it == pList) {
      live.erase(it);
      HeapFree(GetProcessHeap(), 0, pList);
      return true;
    }
  return false;
}

class Locked {
 public:
  Locked() { AcquireSRWLockExclusive(&g_lock); }
  ~Locked() { ReleaseSRWLockExclusive(&g_lock); }
  Locked(const Locked &) = delete;
  Locked &operator=(const Locked &) = delete;
};

}  // namespace

void *kelp_Init(_SDK_Kelp_Init_Param *pParam) {
  Locked lock;
  g_session = Session{};
  g_session.ullInitTick = GetTickCount64();
  g_session.strLog = kKey.ReadString("CallLog", "");
  g_session.volumes = ReadVolumes();
  g_session.dwListFailsAt = kKey.ReadDword("ListFailsAt", 0);
  g_session.bOpen = kKey.ReadDword("InitFails", 0) == 0;
  void *hKelp = g_session.bOpen ? kHandle : nullptr;
  AppendLog("kelp_Init " + std::to_string(pParam->dwSize) + " " +
            std::to_string(pParam->dwVersion) + " " + PointerText(pParam->pReserved) + " -> " +
            PointerText(hKelp));
  return hKelp;
}

int kelp_GetVolumeList(void *hKelp, _UTL_VOLUME_STATUS *&pList) {
  Locked lock;
  int nResult = kFailed;
  if (IsOpenHandle(hKelp) && ++g_session.dwListCalls != g_session.dwListFailsAt) {
    pList = NewList();
    nResult = 0;
  }
  AppendLog("kelp_GetVolumeList " + PointerText(hKelp) + " -> " + std::to_string(nResult) + " " +
            PointerText(nResult == 0 ? pList : nullptr));
  return nResult;
}

int kelp_FreeVolumeList(void *hKelp, _UTL_VOLUME_STATUS *pList) {
  Locked lock;
  bool bTaken = IsOpenHandle(hKelp) && (pList == nullptr || TakeBackList(pList));
  int nResult = bTaken ? 0 : kFailed;
  AppendLog("kelp_FreeVolumeList " + PointerText(hKelp) + " " + PointerText(pList) + " -> " +
            std::to_string(nResult));
  return nResult;
}

int kelp_Release(void *hKelp) {
  Locked lock;
  int nResult = kFailed;
  if (IsOpenHandle(hKelp)) {
    for (_UTL_VOLUME_STATUS *pList : g_session.liveLists) HeapFree(GetProcessHeap(), 0, pList);
    g_session.liveLists.clear();
    g_session.bOpen = false;
    nResult = 0;
  }
  AppendLog("kelp_Release " + PointerText(hKelp) + " -> " + std::to_string(nResult));
  return nResult;
}
