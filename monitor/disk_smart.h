// The disk step of the health monitor: list the disk drives with the WMI command-line tool,
// pick the drive of each of the two bays (bay = SCSI bus number), read its SMART attribute
// data and thresholds straight from the drive, and publish six figures per bay in the
// configuration key.
#pragma once

#include <array>
#include <string>

#include "platform/win32.h"

class RegHandle;

// Per-bay SMART status, handed to the component evaluation.
constexpr LONG HDD_STATUS_NORMAL = 22100;     // read, or no disk in the bay
constexpr LONG HDD_STATUS_NO_PATH = 22400;    // the listing named no drive for either bay
constexpr LONG HDD_STATUS_NO_HANDLE = 22500;  // a SMART read of the bay's drive failed

constexpr int HDD_BAY_COUNT = 2;

// One bay's disk; -1 marks a number that was not found or not read.
struct HddInfo {
  LONG Bus = -1;    // bay (SCSI bus) of the disk that filled the record; -1 = no disk
  LONG Temp = -1;   // attribute 194, raw byte 0: degrees Celsius
  LONG Raw05 = -1;  // attribute 5 (reallocated sectors), raw value modulo 2^32
  LONG Cur05 = -1;  // attribute 5, current (normalized) value
  LONG Th05 = -1;   // threshold of attribute 5
  LONG RawC5 = -1;  // attribute 197 (pending sectors), raw value modulo 2^32
  LONG RawC6 = -1;  // attribute 198 (uncorrectable sectors), raw value modulo 2^32
  // The listing row's fields, in the ANSI code page. Name is the drive's device path
  // ("\\.\PHYSICALDRIVEn"), which the SMART reads open.
  std::string Caption;
  std::string InterfaceType;
  std::string Name;
  std::string SCSIBus;
};

// What the disk step hands on: records and status codes, index = bay number.
struct HddReport {
  HddInfo Hdd[HDD_BAY_COUNT];
  LONG Status[HDD_BAY_COUNT] = {HDD_STATUS_NORMAL, HDD_STATUS_NORMAL};
};

// A SMART reply as SMART_RCV_DRIVE_DATA fills it: a SENDCMDOUTPARAMS record whose 512-byte
// sector starts at offset 16. The request declares SMART_REPLY_SIZE bytes; the buffer has four
// more, zero-filled, so that the raw bytes of the last attribute slot scanned can be read.
constexpr DWORD SMART_REPLY_SIZE = 529;
using SmartReply = std::array<BYTE, SMART_REPLY_SIZE + 4>;

// Runs the listing tool ("<system folder>\wbem\wmic.exe") and returns what it wrote to its
// standard output and error. The text is empty when the pipe cannot be created, and
// "NG: <command line> <error in hex>" when the tool cannot be started. A tool still running
// after 60 s is terminated; what it wrote until then is returned. One that could not be
// terminated is ended before the next listing, which is empty while that tool still runs.
std::string QueryDiskList();

// Fills the two bays from a listing (CSV rows Node, Caption, InterfaceType, Name, SCSIBus).
// A listing that reports no disk-drive instance or a critical error gives HDD_STATUS_NO_PATH
// for both bays and no disk.
HddReport ParseDiskList(const std::string &strListing);

// The 12-byte slot of attribute `bId` in a reply, or null when the scan does not accept it.
// The scan visits the 43 slots that start below offset SMART_REPLY_SIZE and accepts only ids
// that rise above the last accepted one and stay below 251.
const BYTE *FindSmartAttribute(const SmartReply &reply, BYTE bId);

// Sends one SMART read (bFeature READ_ATTRIBUTES or READ_THRESHOLDS) to the drive at
// pszDevicePath and fills `reply`; false when the feature is another one, the drive does not
// open or the request fails.
bool ReadSmartBlock(const char *pszDevicePath, BYTE bFeature, SmartReply &reply);

// The disk step of a monitoring cycle: lists the drives, reads both bays' SMART data and
// writes (or, for a bay without readings, deletes) the bay values "HDDTemp_<bay>",
// "HDD05_<bay>", "HDD05CU_<bay>", "HDD05TH_<bay>", "HDDC5_<bay>" and "HDDC6_<bay>" through
// `regConfig`, the configuration key. Registry failures are ignored.
HddReport CollectDiskSmart(RegHandle &regConfig);
