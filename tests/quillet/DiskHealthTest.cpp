// The disks in the running service: every cycle that finds the configuration key lists the
// disks and publishes the six values of each bay; a disk that goes, and the SMART read failure
// that lasts until its deadline. (How the first cycle judges a bay: HealthInputsTest.)
#include "HealthWorld.h"
#include "winsim/Text.h"

namespace quillet_test {
namespace {

const std::string kDeadlineText =
    "HDD SMARTステータスの確認に失敗したまま、規定時間が経過しました。";
const std::string kDiskWarningText =
    "システムステータスを「警告あり」へ移行しました(ハードウェア = 正常、運用 = 正常、HDD = "
    "警告あり)。";
const std::string kNormalText = "システムステータスを「正常」へ移行しました。";

using DiskHealth = HealthWorld;

TEST_F(DiskHealth, ADiskRemovedWhileInWarningReturnsToNormalWithoutReadings) {
  ASSERT_TRUE(winsim::find_smart_disk(world, 1)->set_attribute(197, 100, 2));
  StartMonitor();
  world.part<standin::WmicStandIn>().output =
      disk_test::Listing({disk_test::Row("HDS2000-A01", "IDE", disk_test::Drive(0), "0")});
  world.run_for(10000);
  CycleNow();
  Records expected = {
      Message(0, 2, 0x800056B8,
              "HDD SMARTステータスを「警告」へ移行しました "
              "(HDD1修復済み = 5、読み込み不安定 = 2、修復が必要 = 0)"),
      Message(10000, 4, 0x40005654,
              "HDD SMARTステータスを「正常」へ移行しました "
              "(HDD1修復済み = -1、読み込み不安定 = -1、修復が必要 = -1)"),
  };
  EXPECT_EQ(Messages(0, kComponents), expected);
}

// Both bays fail: one message, the error after "CheckLogInterval" (3600 s) with the disk group
// in warning for that one cycle. A change of the failure afterwards arms the deadline again.
TEST_F(DiskHealth, ALastingReadFailureIsReportedOnceThenAgainAfterTheGraceTime) {
  for (unsigned bay = 0; bay < 2; ++bay)
    winsim::find_smart_disk(world, bay)->set_failure(winsim::SmartDisk::Failure::Open);
  StartMonitor();
  world.run_for(4000000);
  world.part<standin::WmicStandIn>().output =
      "\r\r\n" + winsim::cp932("利用できるインスタンスがありません。") + "\r\r\n";
  CycleNow();
  world.run_for(3700000);
  Records expected = {
      Message(0, 4, 0x400003E8, "LEDドライバを初期化しました。"),
      Message(0, 2, 0x80005780,
              "HDD SMARTステータスの確認に失敗しました (デバイスハンドルの取得に失敗)"),
      Message(3600000, 1, 0xC00057E4, kDeadlineText),
      Message(3600000, 2, 0x800000C8, kDiskWarningText),
      Message(3660000, 4, 0x40000064, kNormalText),
      Message(4000000, 2, 0x80005780,
              "HDD SMARTステータスの確認に失敗しました (デバイスパスの取得に失敗)"),
      Message(7600000, 1, 0xC00057E4, kDeadlineText),
      Message(7600000, 2, 0x800000C8, kDiskWarningText),
      Message(7660000, 4, 0x40000064, kNormalText),
  };
  EXPECT_EQ(Messages(), expected);
}

// The deadline shared by both bays' read failures. Each step sets the two bays ('-' read,
// 'F' read fails, 'W' a pending sector) and runs a cycle at once; the first step is the start.
// A failure is reported once, and the deadline keeps its time only while a failure armed in
// an earlier cycle and not yet reported goes on.
struct DeadlineStep {
  std::uint64_t seconds;
  const char *bays;
};
struct DeadlineCase {
  const char *name;
  std::vector<DeadlineStep> steps;
  const char *messages;  // the components' messages until 8000 s: "ms type id" lines
};

const DeadlineCase kDeadlineCases[] = {
    {"TheOtherBaysChangeLeavesAFailureArmed",
     {{0, "F-"}, {600, "FW"}},
     "0 2 0x80005780\n600000 2 0x800056B8\n3600000 1 0xC00057E4"},
    {"ABriefFailureIsForgotten", {{0, "F-"}, {630, "--"}}, "0 2 0x80005780\n630000 4 0x40005654"},
    {"BothRecoveringInOneCycleEndTheDeadline",
     {{0, "FF"}, {630, "--"}},
     "0 2 0x80005780\n630000 4 0x40005654\n630000 4 0x40005654"},
    {"AFailureArmedBeforeKeepsItsTimeWhenTheOtherBayRecovers",
     {{0, "FF"}, {630, "-F"}},
     "0 2 0x80005780\n630000 4 0x40005654\n3630000 1 0xC00057E4"},
    {"AFailureStartingAsBay0RecoversHasItsOwnMessageAndTime",
     {{0, "F-"}, {630, "-F"}},
     "0 2 0x80005780\n630000 4 0x40005654\n630000 2 0x80005780\n4230000 1 0xC00057E4"},
    {"AFailureStartingAsBay1RecoversHasItsOwnMessageAndTime",
     {{0, "-F"}, {630, "F-"}},
     "0 2 0x80005780\n630000 2 0x80005780\n630000 4 0x40005654\n4230000 1 0xC00057E4"},
    {"AfterTheDeadlineABriefFailureOfTheOtherBayIsForgotten",
     {{0, "F-"}, {3630, "FF"}, {3690, "F-"}},
     "0 2 0x80005780\n3600000 1 0xC00057E4\n3630000 2 0x80005780\n3690000 4 0x40005654"},
    {"AfterTheDeadlineAWarningOfTheOtherBayArmsNothing",
     {{0, "F-"}, {3630, "FW"}},
     "0 2 0x80005780\n3600000 1 0xC00057E4\n3630000 2 0x800056B8"},
};

class SmartDeadline : public DiskHealth, public ::testing::WithParamInterface<DeadlineCase> {
 protected:
  void SetBays(const char *bays) {
    for (unsigned bay = 0; bay < 2; ++bay) {
      std::shared_ptr<winsim::SmartDisk> disk = winsim::find_smart_disk(world, bay);
      disk->set_failure(bays[bay] == 'F' ? winsim::SmartDisk::Failure::Open
                                         : winsim::SmartDisk::Failure::None);
      ASSERT_TRUE(disk->set_attribute(197, 100, bays[bay] == 'W' ? 1 : 0));
    }
  }
};

TEST_P(SmartDeadline, EachFailureIsReportedOnceAndTheDeadlineFollowsTheArmedOnes) {
  const std::vector<DeadlineStep> &steps = GetParam().steps;
  SetBays(steps[0].bays);
  StartMonitor();
  for (std::size_t i = 1; i < steps.size(); ++i) {
    world.run_until(steps[i].seconds * 1000);
    SetBays(steps[i].bays);
    CycleNow();
  }
  world.run_until(8000000);
  EXPECT_EQ(ComponentMessageLines(0, true), GetParam().messages);
}

INSTANTIATE_TEST_SUITE_P(Timelines, SmartDeadline, ::testing::ValuesIn(kDeadlineCases), kNameOfRow);

// With the tool or, without it, from the drives' own answers: both bays published every cycle.
// Without the tool no tool is started, and that is said once, at the first cycle.
class EveryCycle : public DiskHealth, public ::testing::WithParamInterface<bool> {};

TEST_P(EveryCycle, ListsTheDisksAndPublishesBothBays) {
  if (!GetParam()) standin::remove_wmic(world);
  StartMonitor();
  world.run_for(130000);
  const std::vector<std::uint64_t> cycles = {0, 60000, 120000};
  std::vector<std::uint64_t> tool_starts;
  for (const auto &r : world.trace().of_kind("process.start"))
    if (r["image"] == standin::kWmicImagePath) tool_starts.push_back(r["t"]);
  EXPECT_EQ(tool_starts, GetParam() ? cycles : std::vector<std::uint64_t>{});
  for (const char *prefix : disk_test::kValuePrefixes)
    for (int bay = 0; bay < 2; ++bay)
      EXPECT_EQ(WriteTimes(prefix + std::to_string(bay)), cycles) << prefix << bay;
  Records expected = {Message(0, 4, 0x400003E8, "LEDドライバを初期化しました。")};
  if (!GetParam())
    expected.push_back(Message(0, EVENTLOG_INFORMATION_TYPE, disk_test::kListedWithoutToolId,
                               disk_test::kListedWithoutToolUtf8));
  EXPECT_EQ(Messages(), expected);
  ASSERT_EQ(Control(SERVICE_CONTROL_STOP), 0u);
  ASSERT_TRUE(world.wait_exit(pid_));
  EXPECT_EQ(world.open_handles(pid_), std::vector<std::string>{});
}

INSTANTIATE_TEST_SUITE_P(Disks, EveryCycle, ::testing::Bool(), [](const auto &test) {
  return std::string(test.param ? "WithTheTool" : "WithoutTheTool");
});

TEST_F(DiskHealth, AStopDuringALongListingIsActedOnWhenTheCycleHasFinished) {
  world.part<standin::WmicStandIn>().delay_ms = 25000;
  StartMonitor();
  world.run_for(5000);
  ASSERT_EQ(Control(SERVICE_CONTROL_STOP), 0u);
  ASSERT_TRUE(world.wait_exit(pid_));
  // The first cycle's listing ends at 25 s; the stop takes effect then.
  EXPECT_EQ(Statuses({"t", "state"}).back(), (winsim::Trace::Record{{"t", 25000}, {"state", 1}}));
  EXPECT_EQ(WriteTimes("HDDTemp_0"), std::vector<std::uint64_t>{25000});
}

}  // namespace
}  // namespace quillet_test
