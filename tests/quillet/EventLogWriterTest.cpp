// WriteEventLog: one entry per call with one string and category 0.
#include <gtest/gtest.h>

#include "platform/win32.h"
#include "service/EventLogWriter.h"
#include "winsim/EventLog.h"
#include "winsim/Text.h"
#include "winsim/World.h"

namespace {

TEST(EventLogWriterTest, WritesOneEntryWithItsOneStringAndCategoryZero) {
  winsim::World world;
  std::string text = winsim::cp932("LEDドライバを初期化しました。");
  EXPECT_NE(WriteEventLog("Quillet", EVENTLOG_INFORMATION_TYPE, 0x400003E8, text.c_str()), 0);
  ASSERT_EQ(world.eventlog().entries().size(), 1u);
  const winsim::EventEntry &e = world.eventlog().entries()[0];
  EXPECT_EQ(e.source, "Quillet");
  EXPECT_EQ(e.type, EVENTLOG_INFORMATION_TYPE);
  EXPECT_EQ(e.category, 0);
  EXPECT_EQ(e.id, 0x400003E8u);
  EXPECT_EQ(e.strings, std::vector<std::string>{text});
  EXPECT_EQ(world.trace().of_kind("event")[0]["strings"][0], "LEDドライバを初期化しました。");
  EXPECT_EQ(world.open_handles(world.host_pid()), std::vector<std::string>{});
}

TEST(EventLogWriterTest, AnEntryWithoutTheEventLogIsDroppedAndReportedAsZero) {
  winsim::World world;
  world.eventlog().set_available(false);
  EXPECT_EQ(WriteEventLog("Quillet", EVENTLOG_ERROR_TYPE, 0xC0000BB8, "x"), 0);
  EXPECT_TRUE(world.eventlog().entries().empty());
}

}  // namespace
