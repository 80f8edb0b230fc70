// The event log's control face: an unavailable event-log service refuses event sources; an
// available one keeps every entry as the program passed it.
#include <gtest/gtest.h>

#include "platform/win32.h"
#include "winsim/EventLog.h"
#include "winsim/Text.h"
#include "winsim/World.h"

namespace {

TEST(EventLog, AnUnavailableServiceRefusesASourceAndAnEntryKeepsTheBytesTypeAndId) {
  winsim::World world;
  world.eventlog().set_available(false);
  SetLastError(0xdeadbeef);
  EXPECT_EQ(RegisterEventSourceA(nullptr, "Quillet"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(RPC_S_SERVER_UNAVAILABLE));
  EXPECT_EQ(world.open_handles(world.host_pid()), std::vector<std::string>{});

  world.eventlog().set_available(true);
  // Available, it keeps every entry as the program passed it.
  HANDLE source = RegisterEventSourceA(nullptr, "Quillet");
  ASSERT_NE(source, nullptr);
  std::string text = winsim::cp932("システムステータスを「正常」へ移行しました。");
  LPCSTR strings[] = {text.c_str()};
  world.run_for(2500);
  ASSERT_TRUE(ReportEventA(source, EVENTLOG_INFORMATION_TYPE, 0, 0x40000064, nullptr, 1, 0, strings,
                           nullptr));
  EXPECT_TRUE(DeregisterEventSource(source));
  ASSERT_EQ(world.eventlog().entries().size(), 1u);
  const winsim::EventEntry &entry = world.eventlog().entries()[0];
  EXPECT_EQ(entry.t, 2500u);
  EXPECT_EQ(entry.pid, world.host_pid());
  EXPECT_EQ(entry.source, "Quillet");
  EXPECT_EQ(entry.type, EVENTLOG_INFORMATION_TYPE);
  EXPECT_EQ(entry.id, 0x40000064u);
  EXPECT_EQ(entry.strings, std::vector<std::string>{text});
}

}  // namespace
