// The desktop's top-level windows: a window of a simulated process goes away with it, traced as
// window.close; windows of programs outside the simulation stay. Messages to them: what an
// answering and a hung window cost the sender in virtual time, what they receive, and what
// winsim refuses to guess.
#include <gtest/gtest.h>

#include "Runs.h"
#include "platform/win32.h"
#include "winsim/Desktop.h"
#include "winsim/World.h"

namespace {

using Record = winsim::Trace::Record;

int OwnerMain() {
  winsim::Desktop::of(winsim::World::get())
      .open("#32770", "Microsoft Windows", false, GetCurrentProcessId());
  Sleep(5000);
  return 0;
}

HWND Hwnd(std::uint32_t handle) {
  return reinterpret_cast<HWND>(static_cast<ULONG_PTR>(handle));
}

TEST(Desktop, AProcesssWindowGoesWithItOutsideWindowsStayAndFindWindowTakesTheOldestMatch) {
  winsim::World world;
  winsim::Desktop &desktop = winsim::Desktop::of(world);
  std::uint32_t outside = desktop.open("Notepad", "memo.txt - Notepad", true);
  std::uint32_t pid = StartProgram(world, "owner.exe", OwnerMain);
  world.run_for(1000);
  ASSERT_EQ(desktop.windows().size(), 2u);
  EXPECT_EQ(desktop.find("#32770", "Microsoft Windows")->owner_pid, pid);
  EXPECT_EQ(desktop.find("#32770", "Microsoft windows"), nullptr);

  ASSERT_TRUE(world.wait_exit(pid));
  ASSERT_EQ(desktop.windows().size(), 1u);
  EXPECT_EQ(desktop.windows()[0].handle, outside);
  EXPECT_EQ(world.trace().select("window.close", {"t", "pid", "class", "title"}),
            (std::vector<Record>{
                {{"t", 5000}, {"pid", pid}, {"class", "#32770"}, {"title", "Microsoft Windows"}}}));
  EXPECT_FALSE(desktop.close(0x12345678));

  // FindWindow compares class and title without case and takes the oldest match.
  std::uint32_t first = desktop.open("#32770", "Microsoft Windows");
  desktop.open("#32770", "MICROSOFT WINDOWS");
  desktop.open("Notepad", "memo.txt - Notepad");
  EXPECT_EQ(FindWindowW(TEXT("#32770"), TEXT("microsoft windows")), Hwnd(first));
  EXPECT_EQ(FindWindowW(TEXT("notepad"), nullptr), Hwnd(outside));
  EXPECT_EQ(FindWindowW(nullptr, TEXT("memo.txt - Notepad")), Hwnd(outside));
  EXPECT_EQ(FindWindowW(TEXT("#32770"), TEXT("Microsoft Windows ")), nullptr);
}

// A posted message is taken at once by a window that answers; a hung one takes nothing, and
// posting to it still succeeds.
TEST(Desktop, APostedCloseClosesAWindowThatAnswersAlsoByBroadcastAndOtherMessagesAreDelivered) {
  winsim::World world;
  winsim::Desktop &desktop = winsim::Desktop::of(world);
  std::uint32_t dialog = desktop.open("#32770", "Microsoft Windows");
  std::uint32_t hung = desktop.open("#32770", "Busy", true);
  world.run_for(1500);
  EXPECT_TRUE(PostMessageW(Hwnd(dialog), WM_DEVICECHANGE, 0x8000, -2));
  EXPECT_TRUE(PostMessageW(Hwnd(hung), WM_CLOSE, 0, 0));
  EXPECT_TRUE(PostMessageW(Hwnd(dialog), WM_CLOSE, 0, 0));
  EXPECT_EQ(world.trace().select("window.message", {"t", "title", "msg", "wParam", "lParam"}),
            (std::vector<Record>{{{"t", 1500},
                                  {"title", "Microsoft Windows"},
                                  {"msg", WM_DEVICECHANGE},
                                  {"wParam", 0x8000},
                                  {"lParam", -2}},
                                 {{"t", 1500},
                                  {"title", "Microsoft Windows"},
                                  {"msg", WM_CLOSE},
                                  {"wParam", 0},
                                  {"lParam", 0}}}));
  EXPECT_EQ(world.trace().select("window.close", {"t", "title"}),
            (std::vector<Record>{{{"t", 1500}, {"title", "Microsoft Windows"}}}));
  ASSERT_EQ(desktop.windows().size(), 1u);
  EXPECT_EQ(desktop.windows()[0].handle, hung);

  // Posted to every window, it reaches those that answer.
  desktop.open("#32770", "One");
  desktop.open("#32770", "Three");
  world.trace().clear();
  EXPECT_TRUE(PostMessageW(HWND_BROADCAST, WM_CLOSE, 0, 0));
  EXPECT_EQ(world.trace().select("window.close", {"title"}),
            (std::vector<Record>{{{"title", "One"}}, {{"title", "Three"}}}));
}

constexpr DWORD kLastErrorMarker = 0xdeadbeef;

DEV_BROADCAST_VOLUME VolumeOf(int drive) {
  DEV_BROADCAST_VOLUME volume{};
  volume.dbcv_size = sizeof volume;
  volume.dbcv_devicetype = DBT_DEVTYP_VOLUME;
  volume.dbcv_unitmask = 1u << drive;
  return volume;
}

// A message to one window costs the sender the timeout only while the window is hung and not yet
// taken for hung (five seconds without answering), unless the sender does not abort if hung.
TEST(SendToOneWindow, CostsTheTimeoutOnlyForAHungWindowNotYetTakenForHung) {
  const struct {
    const char *name;
    bool hung;
    std::uint64_t hung_for;  // ms before the call
    UINT flags;
    LRESULT returned;
    DWORD error;            // the last error after the call
    std::uint64_t elapsed;  // virtual ms the call took
    bool received;
  } cases[] = {
      {"answering", false, 0, SMTO_ABORTIFHUNG, 1, kLastErrorMarker, 0, true},
      {"just hung", true, 4999, SMTO_ABORTIFHUNG, 0, ERROR_TIMEOUT, 300, false},
      {"taken for hung", true, 5000, SMTO_ABORTIFHUNG, 0, ERROR_TIMEOUT, 0, false},
      {"long hung, without abort if hung", true, 60000, SMTO_NORMAL, 0, ERROR_TIMEOUT, 300, false},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    winsim::World world;
    auto handle = winsim::Desktop::of(world).open("Probe", "probe", c.hung);
    world.run_for(c.hung_for);
    DEV_BROADCAST_VOLUME volume = VolumeOf(2);
    DWORD_PTR result = 0x5A5A;
    std::uint64_t start = world.now();
    SetLastError(kLastErrorMarker);
    EXPECT_EQ(SendMessageTimeoutA(Hwnd(handle), WM_DEVICECHANGE, DBT_DEVICEARRIVAL,
                                  reinterpret_cast<LPARAM>(&volume), c.flags, 300, &result),
              c.returned);
    EXPECT_EQ(GetLastError(), c.error);
    EXPECT_EQ(result, 0u);
    EXPECT_EQ(world.now() - start, c.elapsed);
    EXPECT_EQ(world.trace().of_kind("window.message").size(), c.received ? 1u : 0u);
    EXPECT_EQ(world.trace().of_kind("broadcast").size(), 0u);  // one window is no broadcast
  }
}

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
            (std::vector<Record>{{{"t", 1000},
                                  {"devicetype", 2},
                                  {"unitmask", 0x80000000u},
                                  {"flags", 0},
                                  {"timeout", 250}}}));
  EXPECT_EQ(world.trace().select("window.message", {"t", "class"}),
            (std::vector<Record>{{{"t", 1000}, {"class", "New"}},
                                 {{"t", 1250}, {"class", "Middle"}},
                                 {{"t", 1500}, {"class", "Old"}}}));

  // A device record winsim does not simulate stops the run rather than guess.
  volume.dbcv_devicetype = 5;
  EXPECT_EQ(StopReport(winsim::RunStopped::Reason::NotSimulated,
                       [&] {
                         SendMessageTimeoutA(HWND_BROADCAST, WM_DEVICECHANGE, DBT_DEVICEARRIVAL,
                                             reinterpret_cast<LPARAM>(&volume), SMTO_ABORTIFHUNG,
                                             100, nullptr);
                       }),
            "winsim: pid 4 (host) tid 8 called SendMessageTimeoutA with a device record of "
            "type 5 and size 20, which winsim does not simulate\n");
}

}  // namespace
