// Writing one entry to the Application event log of the local computer.
#pragma once

#include "platform/win32.h"

// Writes one entry with category 0 and the text as its one insertion string; the event source
// is registered for this entry and released again. Returns non-zero when the source was
// registered and released, 0 when it could not be registered (the entry is then lost).
BOOL WriteEventLog(const char *pszSource, WORD wType, DWORD dwEventId, const char *pszText);
