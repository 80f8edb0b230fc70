// The SMART sectors of 19 real drives, read in place from ../shared/data/smart beside the
// project, against what an independent parser (skdump) read from the same sectors
// (SUMMARY.tsv): current value and threshold of attribute 5, the raw values of 5, 197 and 198
// modulo 2^32, and raw byte 0 of 194.
//
// Every drive agrees with that reading; none needs the scan rule's own decision spelled out.
// Notable drives:
// - the two Maxtor 96147H8 list ids 96 to 101 after 209: the scan passes them over, but no
//   wanted id comes after them;
// - INTEL SSDSA2MH080G1GC lists 225 to 228 after 233, passed over likewise;
// - drives without an attribute (skdump "-": the SSDs and flash modules, the Toshiba without
//   197 and 198) give -1, published as 0xFFFFFFFF;
// - the Fujitsu 0085000B drives report implausible 48-bit raw values for 197 and 198, which are
//   published modulo 2^32 (0xFD220002 and more);
// - the scan also visits slots 30 to 42, past the 30-entry attribute table: two drives have a
//   byte there that the scan accepts (243 in slot 42 of the Fujitsu MHZ2160BH, 223 in slot 35
//   of the ST9100821AS), but none that is a wanted id.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "DiskSmartSupport.h"

namespace disk_test {
namespace {

const std::filesystem::path kDataFolder =
    std::filesystem::path(NORVANE_SOURCE_DIR) / ".." / "shared" / "data" / "smart";

// One drive's line of SUMMARY.tsv, as the six figures the disk step publishes.
struct Expected {
  std::string name;
  LONG Cur05, Th05, Raw05, RawC5, RawC6, Temp;
};

struct Attribute {
  bool present = false;
  LONG current = -1;
  LONG threshold = -1;
  std::uint64_t raw = 0;
};

// "cur/worst/thr/0xRAW", or "-" for an attribute the drive does not have.
Attribute ParseAttribute(const std::string &field) {
  Attribute a;
  if (field == "-") return a;
  std::istringstream in(field);
  std::string current, worst, threshold, raw;
  std::getline(in, current, '/');
  std::getline(in, worst, '/');
  std::getline(in, threshold, '/');
  std::getline(in, raw);
  a.present = true;
  a.current = std::stoi(current);
  a.threshold = std::stoi(threshold);
  a.raw = std::stoull(raw, nullptr, 16);
  return a;
}

LONG Low32(const Attribute &a) {
  return a.present ? static_cast<LONG>(static_cast<std::uint32_t>(a.raw)) : -1;
}

std::vector<Expected> ReadSummary() {
  std::ifstream in(kDataFolder / "SUMMARY.tsv");
  std::vector<Expected> drives;
  std::string line;
  std::getline(in, line);  // header
  while (std::getline(in, line)) {
    std::vector<std::string> fields;
    std::istringstream row(line);
    for (std::string field; std::getline(row, field, '\t');) fields.push_back(field);
    if (fields.size() != 9) {
      ADD_FAILURE() << "SUMMARY.tsv line with " << fields.size() << " fields: " << line;
      continue;
    }
    // Columns: file, smst, overall, bad sectors, temp, attr5, attr194, attr197, attr198.
    Attribute a5 = ParseAttribute(fields[5]);
    Attribute a194 = ParseAttribute(fields[6]);
    drives.push_back({fields[0], a5.current, a5.threshold, Low32(a5),
                      Low32(ParseAttribute(fields[7])), Low32(ParseAttribute(fields[8])),
                      a194.present ? static_cast<LONG>(a194.raw & 0xFF) : -1});
  }
  return drives;
}

class RealDrives : public DiskSmartWorld {
 protected:
  void SetUp() override {
    if (!std::filesystem::exists(kDataFolder / "SUMMARY.tsv"))
      GTEST_SKIP() << "no real-drive SMART data at " << kDataFolder.string()
                   << " (the shared data folder beside the project)";
  }

  std::shared_ptr<winsim::SmartDisk> AddRealDisk(unsigned number, const std::string &name) {
    return winsim::add_smart_disk(world, number, kDataFolder / (name + ".smart_data.bin"),
                                  kDataFolder / (name + ".smart_thresholds.bin"));
  }
};

TEST_F(RealDrives, EachDrivesSixFiguresAgreeWithTheIndependentReading) {
  std::vector<Expected> drives = ReadSummary();
  ASSERT_EQ(drives.size(), 19u);
  wmic().output = Listing({Row("Real drive", "IDE", Drive(0), "0")});
  for (const Expected &drive : drives) {
    SCOPED_TRACE(drive.name);
    AddRealDisk(0, drive.name);
    HddReport report = Collect();
    const HddInfo &hdd = report.Hdd[0];
    EXPECT_EQ(report.Status[0], HDD_STATUS_NORMAL);
    // In the order of the published values: HDDTemp_, HDD05_, HDD05CU_, HDD05TH_, HDDC5_, HDDC6_.
    std::vector<LONG> expected = {drive.Temp, drive.Raw05, drive.Cur05,
                                  drive.Th05, drive.RawC5, drive.RawC6};
    EXPECT_EQ((std::vector<LONG>{hdd.Temp, hdd.Raw05, hdd.Cur05, hdd.Th05, hdd.RawC5, hdd.RawC6}),
              expected);
    for (std::size_t i = 0; i < expected.size(); ++i)
      EXPECT_EQ(BayValue(kValuePrefixes[i], 0), static_cast<DWORD>(expected[i])) << i;
  }
}

}  // namespace
}  // namespace disk_test
