// Messages to the desktop's windows: what an answering and a hung window cost the sender in
// virtual time, what they receive, and what winsim refuses to guess.
#include <gtest/gtest.h>

#include "platform/win32.h"
#include "winsim/Desktop.h"
#include "winsim/World.h"

namespace messages_test {
namespace {

using Record = winsim::Trace::Record;
using Records = std::vector<Record>;

constexpr DWORD kLastErrorMarker = 0xdeadbeef;

DEV_BROADCAST_VOLUME VolumeOf(int drive) {
  DEV_BROADCAST_VOLUME volume{};
  volume.dbcv_size = sizeof volume;
  volume.dbcv_devicetype = DBT_DEVTYP_VOLUME;
  volume.dbcv_unitmask = 1u << drive;
  return volume;
}

struct SendCase {
  const char *name;
  bool hung;
  std::uint64_t hung_for;  // ms before the call
  UINT flags;
  LRESULT returned;
  DWORD error;            // the last error after the call
  std::uint64_t elapsed;  // virtual ms the call took
  bool received;
};

class SendToOneWindow : public ::testing::TestWithParam<SendCase> {};

TEST_P(SendToOneWindow, CostsTheTimeoutOnlyForAHungWindowNotYetTakenForHung) {
  const SendCase &c = GetParam();
  winsim::World world;
  auto handle = winsim::Desktop::of(world).open("Probe", "probe", c.hung);
  world.run_for(c.hung_for);
  DEV_BROADCAST_VOLUME volume = VolumeOf(2);
  DWORD_PTR result = 0x5A5A;
  std::uint64_t start = world.now();
  SetLastError(kLastErrorMarker);
  EXPECT_EQ(SendMessageTimeoutA(reinterpret_cast<HWND>(static_cast<ULONG_PTR>(handle)),
                                WM_DEVICECHANGE, DBT_DEVICEARRIVAL,
                                reinterpret_cast<LPARAM>(&volume), c.flags, 300, &result),
            c.returned);
  EXPECT_EQ(GetLastError(), c.error);
  EXPECT_EQ(result, 0u);
  EXPECT_EQ(world.now() - start, c.elapsed);
  EXPECT_EQ(world.trace().of_kind("window.message").size(), c.received ? 1u : 0u);
  EXPECT_EQ(world.trace().of_kind("broadcast").size(), 0u);  // one window is no broadcast
}

INSTANTIATE_TEST_SUITE_P(
    Windows, SendToOneWindow,
    ::testing::Values(
        SendCase{"Answering", false, 0, SMTO_ABORTIFHUNG, 1, kLastErrorMarker, 0, true},
        SendCase{"JustHung", true, 4999, SMTO_ABORTIFHUNG, 0, ERROR_TIMEOUT, 300, false},
        SendCase{"TakenForHung", true, 5000, SMTO_ABORTIFHUNG, 0, ERROR_TIMEOUT, 0, false},
        SendCase{"LongHungWithoutAbortIfHung", true, 60000, SMTO_NORMAL, 0, ERROR_TIMEOUT, 300,
                 false}),
    [](const ::testing::TestParamInfo<SendCase> &test) { return test.param.name; });

TEST(
    Broadcast,
    ReachesEveryWindowNewestFirstEachHungOneUsingTheWholeTimeoutAndStopsTheRunForWhatItCannotSimulate) {
  winsim::World world;
  winsim::Desktop &desktop = winsim::Desktop::of(world);
  desktop.open("Old", "old");
  desktop.open("FrozenA", "a", true);
  desktop.open("Middle", "middle");
  desktop.open("FrozenB", "b", true);
  desktop.open("New", "new");
  world.run_for(1000);
  DEV_BROADCAST_VOLUME volume = VolumeOf(31);
  EXPECT_EQ(SendMessageTimeoutA(HWND_BROADCAST, WM_DEVICECHANGE, DBT_DEVICEARRIVAL,
                                reinterpret_cast<LPARAM>(&volume), SMTO_NORMAL, 250, nullptr),
            1);
  EXPECT_EQ(world.now(), 1500u);
  EXPECT_EQ(world.trace().select("broadcast", {"t", "devicetype", "unitmask", "flags", "timeout"}),
            (Records{{{"t", 1000},
                      {"devicetype", 2},
                      {"unitmask", 0x80000000u},
                      {"flags", 0},
                      {"timeout", 250}}}));
  EXPECT_EQ(world.trace().select("window.message", {"t", "class"}),
            (Records{{{"t", 1000}, {"class", "New"}},
                     {{"t", 1250}, {"class", "Middle"}},
                     {{"t", 1500}, {"class", "Old"}}}));

  // A device record winsim does not simulate stops the run rather than guess.
  volume.dbcv_devicetype = 5;
  try {
    SendMessageTimeoutA(HWND_BROADCAST, WM_DEVICECHANGE, DBT_DEVICEARRIVAL,
                        reinterpret_cast<LPARAM>(&volume), SMTO_ABORTIFHUNG, 100, nullptr);
    FAIL() << "the call returned";
  } catch (const winsim::RunStopped &stop) {
    EXPECT_EQ(stop.reason(), winsim::RunStopped::Reason::NotSimulated);
    EXPECT_STREQ(stop.what(),
                 "winsim: pid 4 (host) tid 8 called SendMessageTimeoutA with a device record of "
                 "type 5 and size 20, which winsim does not simulate\n");
  }
}

}  // namespace
}  // namespace messages_test
