// libFuzzer target for the disk step's parsing: the WMI tool's listing and the SMART slot scan.
// An input is the listing text up to its first NUL byte; the bytes after that NUL, if any, are
// a SMART sector (zero-padded to 512 bytes) placed in a reply as the drive would return it.
// Each part is checked against the rules the rest of the monitor relies on.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "monitor/IndicatorState.h"
#include "monitor/disk_smart.h"
#include "service/EventLogWriter.h"
#include "winsim/World.h"

// The listing's fallback without the WMI tool says so once through the event log; the parsers
// fuzzed here never reach it, and the target links the disk step alone.
bool g_bListedWithoutToolReported = false;
BOOL WriteEventLog(const char *, WORD, DWORD, const char *) {
  return FALSE;
}

namespace {

void Require(bool condition) {
  if (!condition) std::abort();
}

bool IsPartOf(const std::string &part, const std::string &text) {
  return part.empty() || text.find(part) != std::string::npos;
}

void CheckListing(const std::string &listing) {
  HddReport report = ParseDiskList(listing);
  bool no_path = report.Status[0] == HDD_STATUS_NO_PATH;
  Require(report.Status[0] == report.Status[1]);
  Require(no_path || report.Status[0] == HDD_STATUS_NORMAL);
  // Without the tool's messages the row loop runs at least once, and an empty text fills bay 0.
  if (listing.empty()) Require(report.Hdd[0].Bus == 0);
  for (LONG bay = 0; bay < HDD_BAY_COUNT; ++bay) {
    const HddInfo &hdd = report.Hdd[bay];
    Require(hdd.Bus == -1 || hdd.Bus == bay);
    Require(!(no_path && hdd.Bus != -1));
    Require(hdd.Temp == -1 && hdd.Raw05 == -1 && hdd.Cur05 == -1 && hdd.Th05 == -1 &&
            hdd.RawC5 == -1 && hdd.RawC6 == -1);
    if (hdd.Bus == -1) {
      Require(hdd.Caption.empty() && hdd.InterfaceType.empty() && hdd.Name.empty() &&
              hdd.SCSIBus.empty());
      continue;
    }
    // Fields end at their separators and come from the text itself.
    for (const std::string *field : {&hdd.Caption, &hdd.InterfaceType, &hdd.Name})
      Require(field->find(',') == std::string::npos && IsPartOf(*field, listing));
    Require(hdd.SCSIBus.find('\r') == std::string::npos && IsPartOf(hdd.SCSIBus, listing));
    Require(std::strtol(hdd.SCSIBus.c_str(), nullptr, 10) == bay);
  }
}

void CheckScan(const std::uint8_t *sector, std::size_t size) {
  SmartReply reply{};
  reply[1] = 0x02;  // buffer size 512
  std::memcpy(&reply[16], sector, size < 512 ? size : 512);
  std::ptrdiff_t last_offset = 0;
  for (int id = 0; id < 256; ++id) {
    const BYTE *slot = FindSmartAttribute(reply, static_cast<BYTE>(id));
    if (slot == nullptr) continue;
    std::ptrdiff_t offset = slot - reply.data();
    Require(id >= 1 && id <= 250);
    Require(offset >= 18 && offset < static_cast<std::ptrdiff_t>(SMART_REPLY_SIZE));
    Require((offset - 18) % 12 == 0);
    Require(*slot == id);
    // Accepted ids rise from slot to slot, so a larger id is found in a later slot.
    Require(offset > last_offset);
    last_offset = offset;
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  // The listing is compared in the ANSI code page of a simulated machine; the fuzzing thread is
  // its host thread. The world lives as long as the process.
  new winsim::World;
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  std::string_view input(reinterpret_cast<const char *>(data), size);
  std::size_t nul = input.find('\0');
  CheckListing(std::string(input.substr(0, nul)));
  if (nul != std::string_view::npos) CheckScan(data + nul + 1, size - nul - 1);
  return 0;
}
