// The SMART side of the disk step: the request sent to the drive, the slot scan with its
// "last accepted id" rule, and the six figures taken from the sectors.
#include <gtest/gtest.h>

#include <cstring>

#include "DiskSmartSupport.h"

namespace disk_test {
namespace {

// A reply as the driver fills it, with the sector at offset 16.
SmartReply ReplyOf(const std::vector<std::uint8_t> &sector) {
  SmartReply reply{};
  reply[1] = 0x02;  // buffer size 512
  std::memcpy(&reply[16], sector.data(), sector.size());
  return reply;
}

// The slot index of attribute `id` in the reply, or -1.
int SlotFound(const SmartReply &reply, std::uint8_t id) {
  const BYTE *slot = FindSmartAttribute(reply, id);
  if (slot == nullptr) return -1;
  std::ptrdiff_t offset = slot - reply.data();
  EXPECT_EQ((offset - 18) % 12, 0);
  return static_cast<int>((offset - 18) / 12);
}

// Each row: the ids of the slots in order, then ids looked for with the slot each is found at
// (-1: not found). A slot is accepted when its id is nonzero, below 251 and above the last
// accepted id; a slot passed over leaves the last accepted id as it was.
TEST(SmartScan, FindsAnIdOnlyWhileTheIdsAscendInFortyThreeSlots) {
  struct Case {
    std::vector<std::uint8_t> ids;
    std::vector<std::pair<std::uint8_t, int>> found;
  };
  const Case cases[] = {
      {{1, 5, 9, 194, 197, 198}, {{1, 0}, {5, 1}, {194, 3}, {198, 5}, {7, -1}}},
      // An id after a larger one is not found: 2 is passed over (below 10), so 5 is still
      // compared with 10 and passed over too.
      {{10, 2, 5}, {{5, -1}}},
      // 251 is passed over, so 5 is compared with no accepted id and accepted.
      {{251, 5}, {{251, -1}, {5, 1}}},
      {{250}, {{250, 0}}},
      // Empty slots are passed over.
      {{0, 0, 5, 0, 197}, {{5, 2}, {197, 4}, {0, -1}}},
  };
  for (const Case &c : cases) {
    std::vector<std::uint8_t> sector(512, 0);
    for (std::size_t k = 0; k < c.ids.size(); ++k) sector[SlotOffset(k)] = c.ids[k];
    for (auto [wanted, slot] : c.found)
      EXPECT_EQ(SlotFound(ReplyOf(sector), wanted), slot) << "id " << int{wanted};
  }
  // 43 slots start below offset 529: the last at reply offset 522 (sector offset 506), whose
  // raw bytes run past the sector into the spare byte and the zero-filled room behind it, which
  // is still the reply's own memory.
  std::vector<std::uint8_t> sector(512, 0);
  sector[SlotOffset(42)] = 198;
  SmartReply reply = ReplyOf(sector);
  EXPECT_EQ(SlotFound(reply, 198), 42);
  EXPECT_LE(FindSmartAttribute(reply, 198) + 9, reply.data() + reply.size());
}

class SmartRead : public DiskSmartWorld {};

// The reply holds the sector at offset 16 and zeros behind it. Other features are refused
// before the drive is opened.
TEST_F(SmartRead, TheRequestIsThe33ByteSmartCommandForDriveNumberZeroAndNoOtherFeature) {
  auto disk = winsim::add_smart_disk(world, 3, HealthyData(), HealthyThresholds());
  SmartReply reply;
  ASSERT_TRUE(ReadSmartBlock(Drive(3).c_str(), READ_ATTRIBUTES, reply));
  reply.fill(0xEE);
  ASSERT_TRUE(ReadSmartBlock(Drive(3).c_str(), READ_THRESHOLDS, reply));
  EXPECT_EQ(reply, ReplyOf(HealthyThresholds()));
  std::vector<std::uint8_t> expected(33, 0);
  expected[0] = 33;     // cBufferSize: the size of the request record
  expected[7] = 0x4F;   // cylinder low
  expected[8] = 0xC2;   // cylinder high
  expected[10] = 0xB0;  // SMART command
  ASSERT_EQ(disk->requests().size(), 2u);
  expected[4] = 0xD0;
  EXPECT_EQ(disk->requests()[0], expected);
  expected[4] = 0xD1;
  EXPECT_EQ(disk->requests()[1], expected);

  world.faults().add({"CreateFileA", "", 1, true, ERROR_ACCESS_DENIED});
  reply.fill(0xEE);
  for (int feature : {0x00, 0xB0, 0xCF, 0xD2, 0xDA, 0xEC}) {
    SCOPED_TRACE(feature);
    EXPECT_FALSE(ReadSmartBlock(Drive(0).c_str(), static_cast<BYTE>(feature), reply));
  }
  EXPECT_TRUE(world.trace().of_kind("fault").empty());  // the drive is not opened
  EXPECT_EQ(reply[0], 0xEE);
}

// Bay 0 holds a drive with the row's sectors, bay 1 is empty: the six values published for bay 0
// (in the order of kValuePrefixes: temperature, 5 raw, current and threshold, 197 and 198 raw),
// then bay 1's deleted.
// The six figures of a healthy drive are under DiskStepFailures.
using SmartFigures = DiskSmartWorld;

TEST_F(SmartFigures, TheSixFiguresOfUnusualSectors) {
  std::vector<std::uint8_t> last_slot(512, 0);  // slot 42's raw value ends with the sector
  last_slot[SlotOffset(0)] = 5;
  last_slot[SlotOffset(0) + 3] = 100;
  last_slot[SlotOffset(42)] = 198;
  last_slot[511] = 0x2A;  // then the spare byte (zero) and the room behind
  struct Case {
    const char *what;
    std::vector<std::uint8_t> data, thresholds;
    std::vector<std::uint32_t> published;
  };
  const Case cases[] = {
      {"raw values of 2^32 and more are published modulo 2^32",
       DataSector({{5, 90, 0x000100000000},
                   {194, 30, 0x00FF0000001E},
                   {197, 100, 0xFFFF00000007},
                   {198, 100, 0x0000FFFFFFFF}}),
       ThresholdSector({{5, 10}}),
       {30, 0, 90, 10, 7, 0xFFFFFFFF}},
      {"raw values at or above 2^31 are published unchanged; missing ones (and a missing "
       "temperature) as all ones while the bay stays normal",
       DataSector({{5, 90, 0x7D0080000000}, {197, 100, 0x6D4BFD220002}}),
       ThresholdSector({{5, 10}}),
       {0xFFFFFFFF, 0x80000000, 90, 10, 0xFD220002, 0xFFFFFFFF}},
      {"the threshold is scanned with the same rule",
       HealthyData(),
       ThresholdSector({{9, 0}, {5, 36}}),
       {41, 5, 100, 0xFFFFFFFF, 2, 0}},
      {"the last slot",
       last_slot,
       ThresholdSector({{5, 36}}),
       {0xFFFFFFFF, 0, 100, 36, 0xFFFFFFFF, 0x2A}},
  };
  wmic().output = Listing({Row("Disk", "IDE", Drive(0), "0")});
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    winsim::add_smart_disk(world, 0, c.data, c.thresholds);
    EXPECT_EQ(CollectAfresh().Status[0], HDD_STATUS_NORMAL);
    EXPECT_EQ(RegistryEffects(), BayEffects(c.published, {}));
  }
}

}  // namespace
}  // namespace disk_test
