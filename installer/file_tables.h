// The fixed folders and file lists of the suite, relative to the installation media or to the
// system drive. All are constant and built into the program.
#pragma once

#include "platform/win32.h"

// Folders and files on the system drive.
constexpr WCHAR kParentFolder[] = TEXT("\\Program Files\\Pellam");
constexpr WCHAR kInstallFolder[] = TEXT("\\Program Files\\Pellam\\QORA");
constexpr WCHAR kTempFolder[] = TEXT("\\Program Files\\QORATmp");
constexpr WCHAR kResourceBackup[] = TEXT("\\Program Files\\QORATmp\\mirtResource");
constexpr WCHAR kInstalledResource[] = TEXT("\\Program Files\\Pellam\\QORA\\mirtResource");
constexpr WCHAR kInstalledSuiteProgram[] = TEXT("\\Program Files\\Pellam\\QORA\\Yarrow.exe");
constexpr WCHAR kInstalledDriver[] = TEXT("\\Program Files\\Pellam\\QORA\\truecrypt-x64.sys");
constexpr WCHAR kInstalledNotifier[] = TEXT("\\Program Files\\Pellam\\QORA\\ShellBeacon.exe");
// The driver's name in the folder the command line's driver path names.
constexpr WCHAR kDriverFile[] = TEXT("\\truecrypt.sys");

// One file of the suite: its source on the media for 32-bit and 64-bit processes, its
// destination on the system drive, and whether the installation fails without it.
struct FileTableRow {
  WCHAR szX86Source[MAX_PATH];
  WCHAR szX64Source[MAX_PATH];
  WCHAR szDestination[MAX_PATH];
  int nRequired;
};

constexpr int kFileTableRows = 16;
constexpr int kRemovalEntries = 31;
constexpr int kLogEntries = 7;
constexpr int kResourceCandidates = 2;

// Copied in this order.
extern const FileTableRow kFileTable[kFileTableRows];
// Deleted in this order by every removal, then the log files by a full removal.
extern const LPCWSTR kRemovalList[kRemovalEntries];
extern const LPCWSTR kLogList[kLogEntries];
// Where the suite's resource file may lie, looked for in this order.
extern const LPCWSTR kResourceCandidateList[kResourceCandidates];
