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

void ExpectNoDisk(const HddReport &report, int bay) {
  SCOPED_TRACE("bay " + std::to_string(bay));
  EXPECT_EQ(report.Hdd[bay].Bus, -1);
  EXPECT_EQ(report.Hdd[bay].Caption, "");
  EXPECT_EQ(report.Hdd[bay].InterfaceType, "");
  EXPECT_EQ(report.Hdd[bay].Name, "");
  EXPECT_EQ(report.Hdd[bay].SCSIBus, "");
}

void ExpectRow(const HddInfo &hdd, LONG bus, const std::string &caption,
               const std::string &interface_type, const std::string &name,
               const std::string &scsi_bus) {
  EXPECT_EQ(hdd.Bus, bus);
  EXPECT_EQ(hdd.Caption, caption);
  EXPECT_EQ(hdd.InterfaceType, interface_type);
  EXPECT_EQ(hdd.Name, name);
  EXPECT_EQ(hdd.SCSIBus, scsi_bus);
}

TEST_F(DiskListing, EachInternalDiskFillsTheBayOfItsBusWithItsFourTexts) {
  HddReport report = ParseDiskList(TwoBayListing());
  ExpectRow(report.Hdd[0], 0, "HDS2000-A01", "IDE", Drive(0), "0");
  ExpectRow(report.Hdd[1], 1, "HDS2000-B02", "IDE", Drive(1), "1");
  EXPECT_EQ(report.Status[0], HDD_STATUS_NORMAL);
  EXPECT_EQ(report.Status[1], HDD_STATUS_NORMAL);
}

// The rows that are not the internal disk of bay 0, each at bus 0 after the real one.
struct ForeignRow {
  const char *what;
  const char *caption;
  const char *interface_type;
};
const ForeignRow kForeignRows[] = {
    {"USB disk", "Pocket Flash USB Device", "USB"},
    {"SCSI-attached disk", "Virtual Disk", "SCSI"},
    {"interface containing SCSI", "RAID volume", "iSCSI"},
    {"storage space", "MICROSOFT STORAGE SPACE DEVICE", "IDE"},
    {"storage space in a longer caption", "VOL MICROSOFT STORAGE SPACE DEVICE 2", "IDE"},
};

TEST_F(DiskListing, UsbScsiAndStorageSpaceRowsAtBusZeroLeaveBayZeroToTheOtherRows) {
  for (const ForeignRow &foreign : kForeignRows) {
    SCOPED_TRACE(foreign.what);
    HddReport report =
        ParseDiskList(Listing({Row("Internal", "IDE", Drive(0), "0"),
                               Row(foreign.caption, foreign.interface_type, Drive(5), "0")}));
    ExpectRow(report.Hdd[0], 0, "Internal", "IDE", Drive(0), "0");
    ExpectNoDisk(
        ParseDiskList(Listing({Row(foreign.caption, foreign.interface_type, Drive(5), "0")})), 0);
  }
}

// The filters compare case and whole characters: "USB" after a lead byte is the tail of a
// double-byte character followed by "SB". At bus 1 nothing is filtered.
TEST_F(DiskListing, TheBayZeroFiltersCompareCaseAndWholeCharactersAndBayOneHasNone) {
  const std::string lead_usb = std::string("\x81") + "USB";
  HddReport report = ParseDiskList(Listing(
      {Row("Microsoft Storage Space Device", "usb", Drive(3), "0"),
       Row("Disk", lead_usb, Drive(0), "0"), Row("Pocket USB Device", "USB", Drive(5), "1")}));
  ExpectRow(report.Hdd[0], 0, "Disk", lead_usb, Drive(0), "0");
  ExpectRow(report.Hdd[1], 1, "Pocket USB Device", "USB", Drive(5), "1");
  report = ParseDiskList(Listing({Row("Microsoft Storage Space Device", "usb", Drive(3), "0")}));
  ExpectRow(report.Hdd[0], 0, "Microsoft Storage Space Device", "usb", Drive(3), "0");
}

TEST_F(DiskListing, ALaterRowForTheSameBusReplacesTheEarlierOne) {
  HddReport report = ParseDiskList(
      Listing({Row("First", "IDE", Drive(0), "0"), Row("Second", "IDE", Drive(2), "0"),
               Row("Third", "IDE", Drive(1), "1"), Row("Fourth", "USB", Drive(3), "1")}));
  ExpectRow(report.Hdd[0], 0, "Second", "IDE", Drive(2), "0");
  ExpectRow(report.Hdd[1], 1, "Fourth", "USB", Drive(3), "1");
}

TEST_F(DiskListing, RowsOfBusTwoAndAboveOrBelowZeroFillNoBay) {
  for (const char *bus : {"2", "3", "10", "-1", "4294967296", "4294967297"}) {
    SCOPED_TRACE(bus);
    HddReport report = ParseDiskList(Listing({Row("Disk", "IDE", Drive(4), bus)}));
    ExpectNoDisk(report, 0);
    ExpectNoDisk(report, 1);
  }
}

TEST_F(DiskListing, TheBusIsReadAsADecimalNumberWithItsLeadingPart) {
  struct Case {
    const char *bus;
    int bay;
  };
  for (Case c : {Case{" 1", 1}, Case{"+1", 1}, Case{"01", 1}, Case{"1 (port 3)", 1}, Case{"0x1", 0},
                 Case{"", 0}, Case{"bus", 0}}) {
    SCOPED_TRACE(std::string("\"") + c.bus + "\"");
    HddReport report = ParseDiskList(Listing({Row("Disk", "IDE", Drive(4), c.bus)}));
    ExpectRow(report.Hdd[c.bay], c.bay, "Disk", "IDE", Drive(4), c.bus);
    ExpectNoDisk(report, 1 - c.bay);
  }
}

TEST_F(DiskListing, ACommaInsideACaptionShiftsTheFollowingFields) {
  HddReport report =
      ParseDiskList(Listing({"NAS01,\"Disk, 2 TB\",IDE,\\\\.\\PHYSICALDRIVE0,0\r\r\n"}));
  // Caption "\"Disk", InterfaceType " 2 TB\"", Name "IDE", SCSIBus "\\.\PHYSICALDRIVE0,0"
  // (no digits: bus 0).
  ExpectRow(report.Hdd[0], 0, "\"Disk", " 2 TB\"", "IDE", "\\\\.\\PHYSICALDRIVE0,0");
}

TEST_F(DiskListing, AShortLineTakesItsMissingFieldsFromTheNextLine) {
  HddReport report =
      ParseDiskList(Listing({"NAS01,Disk A,IDE\r\r\n", Row("Disk B", "IDE", Drive(1), "1")}));
  // InterfaceType runs over the line end into the next row's Node; Name is the next row's
  // Caption; SCSIBus has no leading digits, so the merged row fills bay 0. The next row has
  // been consumed: bay 1 stays empty.
  ExpectRow(report.Hdd[0], 0, "Disk A", "IDE\r\r\nNAS01", "Disk B", "IDE," + Drive(1) + ",1");
  ExpectNoDisk(report, 1);
}

TEST_F(DiskListing, AnEmptyLineBetweenRowsIsAbsorbedIntoTheNextRow) {
  HddReport report = ParseDiskList(Listing(
      {Row("Disk A", "IDE", Drive(0), "0"), "\r\r\n", Row("Disk B", "IDE", Drive(1), "1")}));
  ExpectRow(report.Hdd[0], 0, "Disk A", "IDE", Drive(0), "0");
  ExpectRow(report.Hdd[1], 1, "Disk B", "IDE", Drive(1), "1");
}

TEST_F(DiskListing, ATrailingLineWithoutCommasFillsBayZeroWithAnEmptyName) {
  HddReport report = ParseDiskList(TwoBayListing() + "\r\r\n");
  ExpectRow(report.Hdd[0], 0, "", "", "", "");
  ExpectRow(report.Hdd[1], 1, "HDS2000-B02", "IDE", Drive(1), "1");

  // Text without commas and digits is all SCSIBus, read as bus 0.
  report = ParseDiskList(TwoBayListing() + "Done.\r\r\n");
  ExpectRow(report.Hdd[0], 0, "", "", "", "Done.");
}

TEST_F(DiskListing, TheListingEndsAtItsFirstNulByte) {
  std::string listing = Listing({Row("Disk A", "IDE", Drive(0), "0")});
  listing += std::string(1, '\0') + Row("Disk B", "IDE", Drive(1), "1");
  HddReport report = ParseDiskList(listing);
  ExpectRow(report.Hdd[0], 0, "Disk A", "IDE", Drive(0), "0");
  ExpectNoDisk(report, 1);
}

// The tool's messages in code page 932: no disk-drive instance, and a critical error.
const char *const kNoInstance = "利用できるインスタンスがありません。";
const char *const kCriticalError = "重要なエラーです";

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
      EXPECT_EQ(report.Status[0], HDD_STATUS_NO_PATH);
      EXPECT_EQ(report.Status[1], HDD_STATUS_NO_PATH);
      ExpectNoDisk(report, 0);
      ExpectNoDisk(report, 1);
    }
  }
}

// Behind the lead byte 0x81 the message's first byte is a trail byte: the characters that
// follow are others, and the message is not there.
TEST_F(DiskListing, TheToolsMessagesMatchWholeCharactersOnly) {
  HddReport report = ParseDiskList(TwoBayListing() + "\x81" + winsim::cp932(kCriticalError));
  EXPECT_EQ(report.Status[0], HDD_STATUS_NORMAL);
  EXPECT_EQ(report.Status[1], HDD_STATUS_NORMAL);
  EXPECT_EQ(report.Hdd[1].Bus, 1);
}

}  // namespace
}  // namespace disk_test
