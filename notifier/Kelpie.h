// The encryption suite's proxy library Kelpie (Kelpie.dll): the list of volumes the suite has
// mounted. ShellBeacon links it at load time. Its four functions have C++ linkage: the library
// exports them under the names its compiler decorates these declarations with, so the record
// tags and the parameter types below are part of that contract and must stay exactly so.
#pragma once

#include <cstddef>
#include <cstdint>

// Start-up parameters of kelp_Init, filled by the caller.
struct _SDK_Kelp_Init_Param {
  std::uint32_t dwSize;     // the size of this record: 16
  std::uint32_t dwVersion;  // the interface version the caller speaks: 6
  void *pReserved;          // null
};
static_assert(sizeof(_SDK_Kelp_Init_Param) == 16, "_SDK_Kelp_Init_Param is a 16-byte record");

// One volume of the list kelp_GetVolumeList hands out. The library allocates and owns the
// records; only the fields named here are the caller's to read.
struct _UTL_VOLUME_STATUS {
  std::uint8_t abLibrary1[0x80];
  std::int32_t nDriveNo;        // 0 is A:, 1 is B:, 25 is Z:
  std::uint32_t dwAutoMounted;  // 1: the suite mounted the volume by itself
  std::uint32_t dwDismounting;  // 0: the volume stays mounted
  std::uint8_t abLibrary2[0x24];
  _UTL_VOLUME_STATUS *pNext;  // the next record; null ends the list
};
static_assert(offsetof(_UTL_VOLUME_STATUS, nDriveNo) == 0x80);
static_assert(offsetof(_UTL_VOLUME_STATUS, dwAutoMounted) == 0x84);
static_assert(offsetof(_UTL_VOLUME_STATUS, dwDismounting) == 0x88);
static_assert(offsetof(_UTL_VOLUME_STATUS, pNext) == 0xB0);
static_assert(sizeof(_UTL_VOLUME_STATUS) == 0xB8, "_UTL_VOLUME_STATUS is a 0xB8-byte record");

// The library's session handle, or null when the library cannot start.
void *kelp_Init(_SDK_Kelp_Init_Param *pParam);
// 0 on success, with pList the head of the list (null for an empty one); anything else is a
// failure. The caller sets pList to null before the call and gives every list back.
int kelp_GetVolumeList(void *hKelp, _UTL_VOLUME_STATUS *&pList);
// Gives a list back to the library; the list may not be used afterwards.
int kelp_FreeVolumeList(void *hKelp, _UTL_VOLUME_STATUS *pList);
// Ends the session; the handle may not be used afterwards.
int kelp_Release(void *hKelp);
