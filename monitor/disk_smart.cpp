#include "monitor/disk_smart.h"

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <string_view>

#include "monitor/IndicatorState.h"
#include "platform/HandleGuard.h"
#include "service/EventLogWriter.h"
#include "service/RegHandle.h"
#include "service/ServiceIdentity.h"

namespace {

// The tool's arguments; the tool itself is named by its full path in the system folder, so no
// other "wmic.exe" on the search path can stand in for it.
constexpr const char *kListingArguments =
    "Path Win32_DiskDrive get Caption, InterfaceType, Name, SCSIBus /format:csv";
constexpr DWORD kCommandLineSize = 1024;
// The tool is waited for in steps, with one drain of the pipe after each; after the last step
// it is terminated.
constexpr DWORD kWaitStepMs = 10000;
constexpr DWORD kWaitLimitMs = 60000;

// The tool's messages, in code page 932, for a query that found no instance
// ("利用できるインスタンスがありません。") and for a critical error ("重要なエラーです").
// Written as bytes so that they do not depend on the compiler's execution character set.
constexpr const char *kNoInstanceText =
    "\x97\x98\x97\x70\x82\xC5\x82\xAB\x82\xE9\x83\x43\x83\x93\x83\x58\x83\x5E\x83\x93\x83\x58"
    "\x82\xAA\x82\xA0\x82\xE8\x82\xDC\x82\xB9\x82\xF1\x81\x42";
constexpr const char *kCriticalErrorText =
    "\x8F\x64\x97\x76\x82\xC8\x83\x47\x83\x89\x81\x5B\x82\xC5\x82\xB7";

// Listing the drives without the tool: the drive numbers tried, and the event that says so once
// ("WMIコマンドラインツール(wmic.exe)が見つからないため、ディスクの一覧をツールを使わずに
// 取得します。", in code page 932).
constexpr unsigned kListedDriveCount = 16;
// An informational service message, numbered as the board messages are (1xxx: information).
constexpr DWORD kListedWithoutToolId = 0x400003EA;
constexpr const char *kListedWithoutToolText =
    "WMI\x83\x52\x83\x7D\x83\x93\x83\x68\x83\x89\x83\x43\x83\x93\x83\x63\x81\x5B\x83\x8B("
    "wmic.exe)\x82\xAA\x8C\xA9\x82\xC2\x82\xA9\x82\xE7\x82\xC8\x82\xA2\x82\xBD\x82\xDF"
    "\x81\x41\x83\x66\x83\x42\x83\x58\x83\x4E\x82\xCC\x88\xEA\x97\x97\x82\xF0\x83\x63\x81"
    "\x5B\x83\x8B\x82\xF0\x8E\x67\x82\xED\x82\xB8\x82\xC9\x8E\xE6\x93\xBE\x82\xB5\x82\xDC"
    "\x82\xB7\x81\x42";
constexpr const char *kListingHeader = "\r\r\nNode,Caption,InterfaceType,Name,SCSIBus\r\r\n";

// SMART sector layout inside a reply: 12-byte attribute slots from reply offset 18.
constexpr size_t kFirstSlotOffset = 18;
constexpr size_t kSlotSize = 12;
constexpr BYTE kFirstInvalidId = 251;
constexpr BYTE kAttrReallocated = 0x05;
constexpr BYTE kAttrTemperature = 0xC2;
constexpr BYTE kAttrPending = 0xC5;
constexpr BYTE kAttrUncorrectable = 0xC6;
constexpr size_t kSlotCurrent = 3;    // data sector: current (normalized) value
constexpr size_t kSlotThreshold = 1;  // threshold sector: threshold value
constexpr size_t kSlotRaw = 5;        // data sector: raw value, least significant byte first

// ---- Listing ---------------------------------------------------------------------------------

// Builds the quoted full path of the tool and its arguments; false when the system folder is
// unknown.
bool BuildListingCommand(char (&szCommandLine)[kCommandLineSize]) {
  char szSystemDir[MAX_PATH];
  UINT cchDir = GetSystemDirectoryA(szSystemDir, MAX_PATH);
  if (cchDir == 0 || cchDir >= MAX_PATH) return false;
  int cch = std::snprintf(szCommandLine, kCommandLineSize, "\"%s\\wbem\\wmic.exe\" %s", szSystemDir,
                          kListingArguments);
  return cch > 0 && static_cast<DWORD>(cch) < kCommandLineSize;
}

// Appends what waits in the pipe (up to its first NUL byte) to `strOutput`; one read at most.
// False when the pipe could not be asked or read: what waits in it stays there.
bool DrainPipe(HANDLE hRead, std::string &strOutput) {
  DWORD cbAvailable = 0;
  if (!PeekNamedPipe(hRead, nullptr, 0, nullptr, &cbAvailable, nullptr)) return false;
  if (cbAvailable == 0) return true;
  std::string strChunk(cbAvailable + 1, '\0');
  DWORD cbRead = 0;
  if (!ReadFile(hRead, strChunk.data(), cbAvailable, &cbRead, nullptr)) return false;
  strOutput.append(strChunk.c_str());
  return true;
}

// Waits for the tool in steps, draining the pipe after each step that does not see it end;
// a tool that outlasts the limit is terminated. The pipe is drained once more at the end, and
// again if that fails, as the tool's last words would otherwise be lost. False when the tool
// outlasted the limit and could not be terminated.
bool CollectToolOutput(HANDLE hProcess, HANDLE hRead, std::string &strOutput) {
  // A wait that fails says nothing about the tool: the step then passes in a pause and the
  // tool's exit code tells whether it has ended, so that a tool still writing is neither
  // terminated early nor its listing cut short.
  auto endedWithinStep = [hProcess] {
    DWORD dwWait = WaitForSingleObject(hProcess, kWaitStepMs);
    if (dwWait != WAIT_FAILED) return dwWait == WAIT_OBJECT_0;
    Sleep(kWaitStepMs);
    DWORD dwExitCode = STILL_ACTIVE;
    return GetExitCodeProcess(hProcess, &dwExitCode) && dwExitCode != STILL_ACTIVE;
  };
  bool bEnded = false;
  for (DWORD dwWaited = 0; !bEnded && dwWaited < kWaitLimitMs; dwWaited += kWaitStepMs) {
    bEnded = endedWithinStep();
    if (!bEnded) DrainPipe(hRead, strOutput);
  }
  bool bGone = bEnded || TerminateProcess(hProcess, ERROR_TIMEOUT);
  if (!DrainPipe(hRead, strOutput)) DrainPipe(hRead, strOutput);
  return bGone;
}

// A tool that outlasted its wait and could not be terminated. Its handle is kept, and the tool
// is ended before the next listing starts another, so that a tool that will not end never has
// a second one beside it; the handle goes when the program ends.
KernelHandle g_strayTool;

// Ends the stray tool, if there is one; false while it still runs. A tool that cannot be
// terminated may have ended meanwhile; unless a wait says it runs on, it is let go.
bool EndStrayTool() {
  if (!g_strayTool.Holds()) return true;
  if (!TerminateProcess(g_strayTool, ERROR_TIMEOUT) &&
      WaitForSingleObject(g_strayTool, 0) == WAIT_TIMEOUT)
    return false;
  g_strayTool.Reset();
  return true;
}

// ---- Listing without the tool ----------------------------------------------------------------

bool IsToolMissing(DWORD dwError) {
  return dwError == ERROR_FILE_NOT_FOUND || dwError == ERROR_PATH_NOT_FOUND;
}

// A string of the device descriptor at `dwOffset`, without the blanks that pad it; empty when
// the offset is 0 or lies outside the `cbReturned` bytes that came back.
std::string DescriptorString(const BYTE *pDescriptor, DWORD cbReturned, DWORD dwOffset) {
  if (dwOffset == 0 || dwOffset >= cbReturned) return std::string();
  const char *pszBegin = reinterpret_cast<const char *>(pDescriptor + dwOffset);
  std::string_view text(pszBegin, strnlen(pszBegin, cbReturned - dwOffset));
  size_t nFirst = text.find_first_not_of(' ');
  if (nFirst == std::string_view::npos) return std::string();
  return std::string(text.substr(nFirst, text.find_last_not_of(' ') - nFirst + 1));
}

// The tool's Caption and InterfaceType for a drive of this model on this bus: the friendly name
// the disk class gives it, and the interface family it reports (ATA and SATA drives, also
// behind an AHCI controller, are "IDE"; drives on SCSI-like buses are "SCSI").
void DescribeBus(STORAGE_BUS_TYPE busType, const std::string &strModel, HddInfo &row) {
  switch (busType) {
    case BusTypeAta:
    case BusTypeSata:
      row.Caption = strModel + " ATA Device";
      row.InterfaceType = "IDE";
      break;
    case BusTypeUsb:
      row.Caption = strModel + " USB Device";
      row.InterfaceType = "USB";
      break;
    case BusType1394:
      row.Caption = strModel + " IEEE 1394 SBP2 Device";
      row.InterfaceType = "1394";
      break;
    default:
      row.Caption = strModel + " SCSI Disk Device";
      row.InterfaceType = "SCSI";
      break;
  }
}

// Caption and InterfaceType from the drive's device descriptor; false when it does not answer.
bool QueryDriveDescriptor(HANDLE hDrive, HddInfo &row) {
  STORAGE_PROPERTY_QUERY query = {};
  query.PropertyId = StorageDeviceProperty;
  query.QueryType = PropertyStandardQuery;
  BYTE abDescriptor[512] = {};
  DWORD cbReturned = 0;
  if (!DeviceIoControl(hDrive, IOCTL_STORAGE_QUERY_PROPERTY, &query, sizeof query, abDescriptor,
                       sizeof abDescriptor, &cbReturned, nullptr) ||
      cbReturned < offsetof(STORAGE_DEVICE_DESCRIPTOR, RawDeviceProperties))
    return false;
  STORAGE_DEVICE_DESCRIPTOR descriptor;
  std::memcpy(&descriptor, abDescriptor, offsetof(STORAGE_DEVICE_DESCRIPTOR, RawDeviceProperties));
  std::string strVendor = DescriptorString(abDescriptor, cbReturned, descriptor.VendorIdOffset);
  std::string strProduct = DescriptorString(abDescriptor, cbReturned, descriptor.ProductIdOffset);
  std::string strModel = strVendor.empty()
                             ? strProduct
                             : (strProduct.empty() ? strVendor : strVendor + " " + strProduct);
  DescribeBus(descriptor.BusType, strModel, row);
  return true;
}

// SCSIBus: the path id of the drive's SCSI address (the port of an AHCI controller, the bay).
bool QueryDriveBus(HANDLE hDrive, HddInfo &row) {
  SCSI_ADDRESS address = {};
  DWORD cbReturned = 0;
  if (!DeviceIoControl(hDrive, IOCTL_SCSI_GET_ADDRESS, nullptr, 0, &address, sizeof address,
                       &cbReturned, nullptr) ||
      cbReturned < sizeof address)
    return false;
  row.SCSIBus = std::to_string(address.PathId);
  return true;
}

// The tool's row for one drive; false when the drive is not there, does not open or does not
// answer, so that its bay cannot be told. The drive is opened without access rights: the two
// requests need none.
bool DescribeDrive(unsigned nDrive, HddInfo &row) {
  char szPath[32];
  std::snprintf(szPath, sizeof szPath, "\\\\.\\PHYSICALDRIVE%u", nDrive);
  KernelHandle hDrive(CreateFileA(szPath, 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, 0, nullptr));
  if (!hDrive.Holds()) return false;
  row.Name = szPath;
  return QueryDriveDescriptor(hDrive, row) && QueryDriveBus(hDrive, row);
}

// What the tool prints for its listing, made from the drives themselves: the empty line, the
// header and one row per drive that answers, with an empty node; or, when none answers, the
// tool's message that there is no instance. Used when the tool is not on the machine; a drive
// that does not answer is left out, as its bay cannot be told.
std::string ListDrivesWithoutTool() {
  std::string strRows;
  for (unsigned nDrive = 0; nDrive < kListedDriveCount; ++nDrive) {
    HddInfo row;
    if (!DescribeDrive(nDrive, row)) continue;
    strRows +=
        "," + row.Caption + "," + row.InterfaceType + "," + row.Name + "," + row.SCSIBus + "\r\r\n";
  }
  if (strRows.empty()) return std::string(kNoInstanceText) + "\r\r\n";
  return kListingHeader + strRows;
}

// The first listing without the tool since the service started says so in the event log.
void ReportListingWithoutTool() {
  if (g_bListedWithoutToolReported) return;
  g_bListedWithoutToolReported = true;
  WriteEventLog(quillet::kEventSource, EVENTLOG_INFORMATION_TYPE, kListedWithoutToolId,
                kListedWithoutToolText);
}

// True when `strText` contains `pszPart`, compared character by character in the ANSI code
// page (a double-byte character is never matched by its trail byte).
bool Contains(const std::string &strText, const char *pszPart) {
  return StrStrA(strText.c_str(), pszPart) != nullptr;
}

// The text before the first `cSeparator` in `rest`; empty when there is none.
std::string TakeUpTo(std::string_view rest, char cSeparator) {
  size_t nAt = rest.find(cSeparator);
  return nAt == std::string_view::npos ? std::string() : std::string(rest.substr(0, nAt));
}

// Drops `rest` up to and including its first `cSeparator`; nothing when there is none.
void SkipPast(std::string_view &rest, char cSeparator) {
  size_t nAt = rest.find(cSeparator);
  if (nAt != std::string_view::npos) rest.remove_prefix(nAt + 1);
}

bool HasFurtherLine(std::string_view rest) {
  return rest.find('\n') != std::string_view::npos;
}

// Takes the fields of one row (Node, Caption, InterfaceType, Name, SCSIBus). Each field runs to
// the next comma wherever it is, so a short line takes its missing fields from the next one.
HddInfo TakeRow(std::string_view &rest) {
  HddInfo row;
  SkipPast(rest, ',');
  row.Caption = TakeUpTo(rest, ',');
  SkipPast(rest, ',');
  row.InterfaceType = TakeUpTo(rest, ',');
  SkipPast(rest, ',');
  row.Name = TakeUpTo(rest, ',');
  SkipPast(rest, ',');
  row.SCSIBus = TakeUpTo(rest, '\r');
  return row;
}

// Bay 0 is the internal disk on SCSI bus 0: removable (USB), SCSI-attached and storage-space
// disks on that bus are not taken for it.
bool IsBayZeroCandidate(const HddInfo &row) {
  return !Contains(row.InterfaceType, "USB") && !Contains(row.InterfaceType, "SCSI") &&
         !Contains(row.Caption, "MICROSOFT STORAGE SPACE DEVICE");
}

// Puts a row into the bay of its bus; a later row of a bay replaces an earlier one.
void PlaceRow(HddInfo row, HddReport &report) {
  long lBus = std::strtol(row.SCSIBus.c_str(), nullptr, 10);
  if (lBus == 0 && IsBayZeroCandidate(row)) {
    row.Bus = 0;
    report.Hdd[0] = std::move(row);
  } else if (lBus == 1) {
    row.Bus = 1;
    report.Hdd[1] = std::move(row);
  }
}

// ---- SMART -------------------------------------------------------------------------------------

LONG SlotByte(const SmartReply &reply, BYTE bId, size_t nOffset) {
  const BYTE *pSlot = FindSmartAttribute(reply, bId);
  return pSlot == nullptr ? -1 : pSlot[nOffset];
}

// The slot's raw value modulo 2^32: its first four raw bytes, least significant first.
LONG RawValue(const SmartReply &reply, BYTE bId) {
  const BYTE *pSlot = FindSmartAttribute(reply, bId);
  if (pSlot == nullptr) return -1;
  const BYTE *pRaw = pSlot + kSlotRaw;
  DWORD dwRaw = pRaw[0] | (pRaw[1] << 8) | (pRaw[2] << 16) | (static_cast<DWORD>(pRaw[3]) << 24);
  return static_cast<LONG>(dwRaw);
}

// Reads one bay's SMART data and thresholds into its record; a failed read marks the bay.
void ReadBaySmart(HddInfo &hdd, LONG &lStatus) {
  if (hdd.Bus == -1 || lStatus == HDD_STATUS_NO_PATH) return;
  SmartReply data;
  if (!ReadSmartBlock(hdd.Name.c_str(), READ_ATTRIBUTES, data)) {
    lStatus = HDD_STATUS_NO_HANDLE;
    return;
  }
  hdd.Cur05 = SlotByte(data, kAttrReallocated, kSlotCurrent);
  hdd.Raw05 = RawValue(data, kAttrReallocated);
  hdd.Temp = SlotByte(data, kAttrTemperature, kSlotRaw);
  hdd.RawC5 = RawValue(data, kAttrPending);
  hdd.RawC6 = RawValue(data, kAttrUncorrectable);
  SmartReply thresholds;
  if (!ReadSmartBlock(hdd.Name.c_str(), READ_THRESHOLDS, thresholds)) {
    lStatus = HDD_STATUS_NO_HANDLE;
    return;
  }
  hdd.Th05 = SlotByte(thresholds, kAttrReallocated, kSlotThreshold);
}

// Writes the bay's six values, or deletes them when the bay has no disk or was not read.
void PublishBay(RegHandle &regConfig, int nBay, const HddInfo &hdd, LONG lStatus) {
  static const char *const kPrefixes[] = {"HDDTemp_", "HDD05_", "HDD05CU_",
                                          "HDD05TH_", "HDDC5_", "HDDC6_"};
  const LONG alValues[] = {hdd.Temp, hdd.Raw05, hdd.Cur05, hdd.Th05, hdd.RawC5, hdd.RawC6};
  bool bPublish = hdd.Bus != -1 && lStatus == HDD_STATUS_NORMAL;
  for (size_t i = 0; i < std::size(kPrefixes); ++i) {
    char szName[32];
    std::snprintf(szName, sizeof szName, "%s%d", kPrefixes[i], nBay);
    if (bPublish)
      regConfig.SetDword(szName, static_cast<DWORD>(alValues[i]));
    else
      regConfig.DeleteValue(szName);
  }
}

}  // namespace

std::string QueryDiskList() {
  char szCommandLine[kCommandLineSize];
  // While an earlier tool still runs, no other is started and the listing is empty.
  if (!EndStrayTool() || !BuildListingCommand(szCommandLine)) return std::string();
  SECURITY_ATTRIBUTES sa = {static_cast<DWORD>(sizeof sa), nullptr, TRUE};
  // Declared so that the read end is closed first, then the write end.
  KernelHandle hWrite;
  KernelHandle hRead;
  if (!CreatePipe(hRead.Receive(), hWrite.Receive(), &sa, 0)) return std::string();

  STARTUPINFOA si = {};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESHOWWINDOW | STARTF_USESTDHANDLES;
  si.wShowWindow = SW_HIDE;
  si.hStdOutput = hWrite;
  si.hStdError = hWrite;
  PROCESS_INFORMATION pi = {};
  std::string strOutput;
  if (CreateProcessA(nullptr, szCommandLine, nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si,
                     &pi)) {
    KernelHandle hProcess(pi.hProcess);
    KernelHandle hThread(pi.hThread);
    if (!CollectToolOutput(hProcess, hRead, strOutput)) g_strayTool.Reset(hProcess.Release());
  } else if (DWORD dwError = GetLastError(); IsToolMissing(dwError)) {
    strOutput = ListDrivesWithoutTool();
    ReportListingWithoutTool();
  } else {
    char szText[kCommandLineSize + 16];
    std::snprintf(szText, sizeof szText, "NG: %s %x", szCommandLine,
                  static_cast<unsigned>(dwError));
    strOutput = szText;
  }
  return strOutput;
}

HddReport ParseDiskList(const std::string &strListing) {
  HddReport report;
  if (Contains(strListing, kNoInstanceText) || Contains(strListing, kCriticalErrorText)) {
    report.Status[0] = report.Status[1] = HDD_STATUS_NO_PATH;
    return report;
  }
  // The listing starts with an empty line and the header line.
  std::string_view rest(strListing.c_str());
  SkipPast(rest, '\n');
  SkipPast(rest, '\n');
  do {
    PlaceRow(TakeRow(rest), report);
    if (HasFurtherLine(rest)) SkipPast(rest, '\n');
  } while (HasFurtherLine(rest));
  return report;
}

const BYTE *FindSmartAttribute(const SmartReply &reply, BYTE bId) {
  BYTE bLastId = 0;
  for (size_t nOffset = kFirstSlotOffset; nOffset < SMART_REPLY_SIZE; nOffset += kSlotSize) {
    BYTE bSlotId = reply[nOffset];
    if (bSlotId <= bLastId || bSlotId >= kFirstInvalidId) continue;
    bLastId = bSlotId;
    if (bSlotId == bId) return &reply[nOffset];
  }
  return nullptr;
}

bool ReadSmartBlock(const char *pszDevicePath, BYTE bFeature, SmartReply &reply) {
  if (bFeature != READ_ATTRIBUTES && bFeature != READ_THRESHOLDS) return false;
  KernelHandle hDevice(CreateFileA(pszDevicePath, GENERIC_READ | GENERIC_WRITE,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                                   nullptr));
  if (!hDevice.Holds()) return false;
  SENDCMDINPARAMS request = {};
  request.cBufferSize = sizeof request;
  request.irDriveRegs.bFeaturesReg = bFeature;
  request.irDriveRegs.bCylLowReg = SMART_CYL_LOW;
  request.irDriveRegs.bCylHighReg = SMART_CYL_HI;
  request.irDriveRegs.bCommandReg = SMART_CMD;
  reply.fill(0);
  DWORD cbReturned = 0;
  return DeviceIoControl(hDevice, SMART_RCV_DRIVE_DATA, &request, sizeof request, reply.data(),
                         SMART_REPLY_SIZE, &cbReturned, nullptr) != FALSE;
}

HddReport CollectDiskSmart(RegHandle &regConfig) {
  HddReport report = ParseDiskList(QueryDiskList());
  for (int nBay = 0; nBay < HDD_BAY_COUNT; ++nBay)
    ReadBaySmart(report.Hdd[nBay], report.Status[nBay]);
  for (int nBay = 0; nBay < HDD_BAY_COUNT; ++nBay)
    PublishBay(regConfig, nBay, report.Hdd[nBay], report.Status[nBay]);
  return report;
}
