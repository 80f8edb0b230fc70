// The disk step on a machine without the WMI command-line tool: the listing is made from the
// drives' own answers (device descriptor and SCSI address), goes through the same parsing, and
// the first such listing since the service started says so in the event log.
#include <gtest/gtest.h>

#include "DiskSmartSupport.h"
#include "HealthWorld.h"
#include "monitor/IndicatorState.h"
#include "winsim/EventLog.h"
#include "winsim/Text.h"

namespace disk_test {
namespace {

class ListingWithoutTool : public DiskSmartWorld {
 protected:
  ListingWithoutTool() {
    InitializeIndicatorState();
    standin::remove_wmic(world);
  }
  ~ListingWithoutTool() override { DeleteIndicatorLocks(); }

  std::shared_ptr<winsim::SmartDisk> AddDrive(unsigned number, const std::string &model,
                                              std::uint32_t bus_type, std::uint8_t bay) {
    auto drive = AddHealthyDisk(number);
    drive->set_identity({model, bus_type, bay});
    return drive;
  }

  std::vector<std::uint32_t> EventIds() {
    std::vector<std::uint32_t> ids;
    for (const auto &entry : world.eventlog().entries()) ids.push_back(entry.id);
    return ids;
  }
};

TEST_F(ListingWithoutTool, IsTheToolsListingOfTheDrivesThatAnswerAndStartsNoProcess) {
  AddDrive(0, "HDS2000-A01", BusTypeSata, 0);
  AddDrive(1, "  HDS2000-B02  ", BusTypeAta, 1);
  AddDrive(2, "DataKey", BusTypeUsb, 0);
  AddDrive(5, "Array", BusTypeRAID, 0);
  EXPECT_EQ(QueryDiskList(),
            Listing({"," + std::string("HDS2000-A01 ATA Device,IDE,") + Drive(0) + ",0\r\r\n",
                     ",HDS2000-B02 ATA Device,IDE," + Drive(1) + ",1\r\r\n",
                     ",DataKey USB Device,USB," + Drive(2) + ",0\r\r\n",
                     ",Array SCSI Disk Device,SCSI," + Drive(5) + ",0\r\r\n"}));
  EXPECT_TRUE(world.trace().of_kind("process.start").empty());
  EXPECT_EQ(world.open_handles(world.host_pid()), std::vector<std::string>{});
}

// The tool is there but cannot be started for another reason: today's "NG" text, no drive is
// asked, nothing is said.
struct StartFailure {
  const char *name;
  DWORD error;
  bool listed_without_tool;
};
class ToolStartFailure : public ListingWithoutTool,
                         public ::testing::WithParamInterface<StartFailure> {};

TEST_P(ToolStartFailure, OnlyAMissingProgramIsListedWithoutTheTool) {
  standin::install_wmic(world);
  AddDrive(0, "HDS2000-A01", BusTypeSata, 0);
  world.faults().add({"CreateProcessA", "", 1, false, GetParam().error});
  HddReport report = Collect();
  if (GetParam().listed_without_tool) {
    EXPECT_EQ(report.Hdd[0].Caption, "HDS2000-A01 ATA Device");
    EXPECT_THAT(report.Status, ElementsAre(HDD_STATUS_NORMAL, HDD_STATUS_NORMAL));
    EXPECT_EQ(EventIds(), std::vector<std::uint32_t>{kListedWithoutToolId});
  } else {
    EXPECT_EQ(report.Hdd[0].Name, "");  // the "NG" text's one row
    EXPECT_THAT(report.Status, ElementsAre(HDD_STATUS_NO_HANDLE, HDD_STATUS_NORMAL));
    EXPECT_EQ(EventIds(), std::vector<std::uint32_t>{});
    EXPECT_TRUE(world.trace().of_kind("smart.read").empty());
  }
}

INSTANTIATE_TEST_SUITE_P(Errors, ToolStartFailure,
                         ::testing::Values(StartFailure("FileNotFound", ERROR_FILE_NOT_FOUND, true),
                                           StartFailure("PathNotFound", ERROR_PATH_NOT_FOUND, true),
                                           StartFailure("AccessDenied", ERROR_ACCESS_DENIED,
                                                        false)),
                         quillet_test::kNameOfRow);

// The message is said once until the service starts again (its text: EveryCycle).
TEST_F(ListingWithoutTool, ABayWithoutADriveHasNoDiskNoDriveAtAllIsTheNoInstanceAndItIsSaidOnce) {
  AddDrive(0, "HDS2000-A01", BusTypeSata, 0);
  SeedBayValues();
  HddReport report = Collect();
  EXPECT_EQ(report.Hdd[0].Name, Drive(0));
  EXPECT_EQ(report.Hdd[1].Bus, -1);
  EXPECT_EQ(RegistryEffects(), BayEffects(kHealthyValues, {}));
  Collect();
  DeleteIndicatorLocks();
  InitializeIndicatorState();
  Collect();
  EXPECT_EQ(EventIds(), (std::vector<std::uint32_t>{kListedWithoutToolId, kListedWithoutToolId}));
  world.devices().remove("PHYSICALDRIVE0");
  EXPECT_EQ(QueryDiskList(), winsim::cp932("利用できるインスタンスがありません。") + "\r\r\n");
  EXPECT_THAT(Collect().Status, ElementsAre(HDD_STATUS_NO_PATH, HDD_STATUS_NO_PATH));
}

}  // namespace
}  // namespace disk_test

namespace quillet_test {
namespace {

// A drive of bay 1 that does not open or refuses one of the two requests is left out, as its
// bay cannot be told: bay 1 then has no disk and no message; bay 0 is read as usual.
struct DriveFailure {
  const char *name;
  winsim::Fault fault;
};
class UnansweringDrive : public HealthWorld, public ::testing::WithParamInterface<DriveFailure> {};

TEST_P(UnansweringDrive, IsLeftOutOfTheListing) {
  standin::remove_wmic(world);
  world.faults().add(GetParam().fault);
  StartMonitor();
  EXPECT_EQ(Messages(0, kComponents), Records{});
  EXPECT_EQ(Config("HDDTemp_0"), 41u);
  EXPECT_EQ(Config("HDDTemp_1"), std::nullopt);
  EXPECT_TRUE(world.faults().unmatched().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Failures, UnansweringDrive,
    ::testing::Values(DriveFailure("Open", {"CreateFileA", "PHYSICALDRIVE1", 1, false,
                                            ERROR_ACCESS_DENIED, "DescribeDrive"}),
                      DriveFailure("Descriptor", {"DeviceIoControl", "PHYSICALDRIVE1", 1, false,
                                                  ERROR_INVALID_FUNCTION, "QueryDriveDescriptor"}),
                      DriveFailure("Address", {"DeviceIoControl", "PHYSICALDRIVE1", 1, false,
                                               ERROR_INVALID_FUNCTION, "QueryDriveBus"})),
    kNameOfRow);

}  // namespace
}  // namespace quillet_test
