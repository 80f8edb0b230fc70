#include "service/EventLogWriter.h"

BOOL WriteEventLog(const char *pszSource, WORD wType, DWORD dwEventId, const char *pszText) {
  HANDLE hSource = RegisterEventSourceA(nullptr, pszSource);
  if (hSource == nullptr) return 0;
  LPCSTR strings[1] = {pszText};
  ReportEventA(hSource, wType, 0, dwEventId, nullptr, 1, 0, strings, nullptr);
  return DeregisterEventSource(hSource);
}
