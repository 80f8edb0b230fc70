// The five indicator threads: two alarm threads that repeat their sound unless snoozed, and
// three blink threads for the status LED and the RAID LEDs. Each runs until its run flag is
// cleared, finishing the pass it is in, and pauses while the system is suspended.
#pragma once

#include "platform/win32.h"

DWORD WINAPI RaidAlarmThread(LPVOID pParam);
DWORD WINAPI SystemAlarmThread(LPVOID pParam);
DWORD WINAPI RaidAltBlinkThread(LPVOID pParam);
DWORD WINAPI RaidBlinkThread(LPVOID pParam);
DWORD WINAPI StatusBlinkThread(LPVOID pParam);
