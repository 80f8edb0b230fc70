// Sound output: PlaySoundA and Beep.
#pragma once

#include "winsim/win32/types.h"

#define SND_SYNC 0x0000
#define SND_ASYNC 0x0001
#define SND_NODEFAULT 0x0002
#define SND_MEMORY 0x0004
#define SND_LOOP 0x0008
#define SND_NOSTOP 0x0010
#define SND_NOWAIT 0x00002000L
#define SND_ALIAS 0x00010000L
#define SND_FILENAME 0x00020000L
#define SND_RESOURCE 0x00040004L

// Plays a wave file of the world (its play length) through the default audio output. Only
// file names are played: SND_FILENAME, synchronous unless SND_ASYNC.
BOOL WINAPI PlaySoundA(LPCSTR pszSound, HMODULE hmod, DWORD fdwSound);
// A tone of `dwFreq` hertz (37 to 32767) for `dwDuration` milliseconds; returns after the tone.
BOOL WINAPI Beep(DWORD dwFreq, DWORD dwDuration);
