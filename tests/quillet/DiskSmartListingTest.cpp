// Parsing the WMI tool's disk listing into the two bays: the recognition texts, the field
// rules (fields run to the next comma wherever it is) and the bay filters.
#include <gtest/gtest.h>

#include "DiskSmartSupport.h"
#include "winsim/Text.h"

namespace disk_test {
namespace {

// ParseDiskList compares texts in the process's ANSI code page, so it runs inside a world.
class DiskListing : public ::testing::Test {
 protected:
  winsim::World world;
};

// A bay as "bus:caption|interface|name|SCSIBus", or "none" without a disk.
std::string Bay(LONG bus, const std::string &caption, const std::string &interface_type,
                const std::string &name, const std::string &scsi_bus) {
  return std::to_string(bus) + ":" + caption + "|" + interface_type + "|" + name + "|" + scsi_bus;
}
std::string Bay(const HddInfo &hdd) {
  std::string bay = Bay(hdd.Bus, hdd.Caption, hdd.InterfaceType, hdd.Name, hdd.SCSIBus);
  return bay == Bay(-1, "", "", "", "") ? "none" : bay;
}

// The tool's messages in code page 932: no disk-drive instance, and a critical error.
const char *const kNoInstance = "利用できるインスタンスがありません。";
const char *const kCriticalError = "重要なエラーです";

struct ListingCase {
  const char *what;
  std::string listing;
  std::string bay0, bay1;
};

// Each row is a listing and the two bays it fills: fields run to the next comma wherever it is,
// a later row for a bus replaces an earlier one, and the bay 0 filters compare case and whole
// characters ("USB" after a lead byte is the tail of a double-byte character and "SB").
TEST_F(DiskListing, RowsFillTheBayOfTheirBusFieldByField) {
  const std::string lead_usb = std::string("\x81") + "USB";
  const std::string internal = Bay(0, "Internal", "IDE", Drive(0), "0");
  const ListingCase cases[] = {
      {"later rows replace earlier ones",
       Listing({Row("First", "IDE", Drive(0), "0"), Row("Second", "IDE", Drive(2), "0"),
                Row("Third", "IDE", Drive(1), "1"), Row("Fourth", "USB", Drive(3), "1")}),
       Bay(0, "Second", "IDE", Drive(2), "0"), Bay(1, "Fourth", "USB", Drive(3), "1")},
      {"filters compare case and whole characters; bay 1 has none",
       Listing({Row("Microsoft Storage Space Device", "usb", Drive(3), "0"),
                Row("Disk", lead_usb, Drive(0), "0"),
                Row("Pocket USB Device", "USB", Drive(5), "1")}),
       Bay(0, "Disk", lead_usb, Drive(0), "0"), Bay(1, "Pocket USB Device", "USB", Drive(5), "1")},
      {"a lower-case filter text is no match",
       Listing({Row("Microsoft Storage Space Device", "usb", Drive(3), "0")}),
       Bay(0, "Microsoft Storage Space Device", "usb", Drive(3), "0"), "none"},
      // Caption "\"Disk", InterfaceType " 2 TB\"", Name "IDE", SCSIBus "\\.\PHYSICALDRIVE0,0"
      // (no digits: bus 0).
      {"a comma inside a caption shifts the fields",
       Listing({"NAS01,\"Disk, 2 TB\",IDE,\\\\.\\PHYSICALDRIVE0,0\r\r\n"}),
       Bay(0, "\"Disk", " 2 TB\"", "IDE", "\\\\.\\PHYSICALDRIVE0,0"), "none"},
      // InterfaceType runs over the line end into the next row's Node; Name is the next row's
      // Caption; SCSIBus has no leading digits, so the merged row fills bay 0 and bay 1 stays
      // empty.
      {"a short line takes its missing fields from the next line",
       Listing({"NAS01,Disk A,IDE\r\r\n", Row("Disk B", "IDE", Drive(1), "1")}),
       Bay(0, "Disk A", "IDE\r\r\nNAS01", "Disk B", "IDE," + Drive(1) + ",1"), "none"},
      {"an empty line is absorbed into the next row",
       Listing(
           {Row("Disk A", "IDE", Drive(0), "0"), "\r\r\n", Row("Disk B", "IDE", Drive(1), "1")}),
       Bay(0, "Disk A", "IDE", Drive(0), "0"), Bay(1, "Disk B", "IDE", Drive(1), "1")},
      {"a trailing empty line fills bay 0 with empty texts", TwoBayListing() + "\r\r\n",
       Bay(0, "", "", "", ""), Bay(1, "HDS2000-B02", "IDE", Drive(1), "1")},
      // Behind the lead byte 0x81 the message's first byte is a trail byte: the characters
      // that follow are others, and the message is not there; text without a line end is no row.
      {"the tool's message matches whole characters only",
       TwoBayListing() + "\x81" + winsim::cp932(kCriticalError),
       Bay(0, "HDS2000-A01", "IDE", Drive(0), "0"), Bay(1, "HDS2000-B02", "IDE", Drive(1), "1")},
      {"the listing ends at its first NUL byte",
       Listing({Row("Disk A", "IDE", Drive(0), "0")}) + std::string(1, '\0') +
           Row("Disk B", "IDE", Drive(1), "1"),
       Bay(0, "Disk A", "IDE", Drive(0), "0"), "none"},
  };
  for (const ListingCase &c : cases) {
    HddReport report = ParseDiskList(c.listing);
    EXPECT_EQ(Bay(report.Hdd[0]), c.bay0) << c.what;
    EXPECT_EQ(Bay(report.Hdd[1]), c.bay1) << c.what;
    EXPECT_THAT(report.Status, ElementsAre(HDD_STATUS_NORMAL, HDD_STATUS_NORMAL)) << c.what;
  }
}

// The rows that are not the internal disk of bay 0, each at bus 0 after the real one.
struct ForeignRow {
  const char *what;
  const char *caption;
  const char *interface_type;
};
const ForeignRow kForeignRows[] = {
    {"USB disk", "Pocket Flash USB Device", "USB"},
    {"interface containing SCSI", "RAID volume", "iSCSI"},
    {"storage space in a longer caption", "VOL MICROSOFT STORAGE SPACE DEVICE 2", "IDE"},
};

TEST_F(DiskListing, UsbScsiAndStorageSpaceRowsAtBusZeroLeaveBayZeroToTheOtherRows) {
  for (const ForeignRow &foreign : kForeignRows) {
    SCOPED_TRACE(foreign.what);
    std::string row = Row(foreign.caption, foreign.interface_type, Drive(5), "0");
    HddReport report = ParseDiskList(Listing({Row("Internal", "IDE", Drive(0), "0"), row}));
    EXPECT_EQ(Bay(report.Hdd[0]), Bay(0, "Internal", "IDE", Drive(0), "0"));
    EXPECT_EQ(Bay(ParseDiskList(Listing({row})).Hdd[0]), "none");
  }
}

// Bus 2 and above, or below 0, fills no bay; the bus is read as a decimal number with its
// leading part.
TEST_F(DiskListing, TheBusIsReadAsADecimalNumberWithItsLeadingPart) {
  struct Case {
    const char *bus;
    int bay;  // -1: none
  };
  for (Case c : {Case{" 1", 1}, Case{"+1", 1}, Case{"01", 1}, Case{"1 (port 3)", 1}, Case{"0x1", 0},
                 Case{"", 0}, Case{"bus", 0}, Case{"2", -1}, Case{"10", -1}, Case{"-1", -1},
                 Case{"4294967296", -1}, Case{"4294967297", -1}}) {
    SCOPED_TRACE(std::string("\"") + c.bus + "\"");
    HddReport report = ParseDiskList(Listing({Row("Disk", "IDE", Drive(4), c.bus)}));
    for (int bay = 0; bay < 2; ++bay)
      EXPECT_EQ(Bay(report.Hdd[bay]),
                bay == c.bay ? Bay(bay, "Disk", "IDE", Drive(4), c.bus) : "none");
  }
}

TEST_F(DiskListing, TheToolsMessagesAnywhereGiveNoPathForBothBays) {
  for (const char *message : {kNoInstance, kCriticalError}) {
    std::string text = winsim::cp932(message);
    for (const std::string &listing :
         {text + "\r\r\n", "\r\r\n" + text + "\r\r\n", TwoBayListing() + "ERROR: " + text,
          Listing({Row(text + " HDS2000-A01", "IDE", Drive(0), "0"),
                   Row("Disk", "IDE", Drive(1), "1")}),
          Listing({Row("Disk", "IDE", Drive(0), "0"), Row("Disk", "IDE", Drive(1), "1" + text)})}) {
      SCOPED_TRACE(winsim::to_utf8(listing, 932));
      HddReport report = ParseDiskList(listing);
      EXPECT_THAT(report.Status, ElementsAre(HDD_STATUS_NO_PATH, HDD_STATUS_NO_PATH));
      EXPECT_EQ(Bay(report.Hdd[0]) + " " + Bay(report.Hdd[1]), "none none");
    }
  }
}

}  // namespace
}  // namespace disk_test
