// The desktop's top-level windows: a window of a simulated process goes away with it, traced as
// window.close; windows of programs outside the simulation stay.
#include <gtest/gtest.h>

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
  world.add_program("owner.exe", OwnerMain);
  world.place_program("C:\\owner.exe", "owner.exe");
  std::uint32_t pid = world.start("C:\\owner.exe");
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
  EXPECT_EQ(desktop.windows().size(), 1u);  // the hung one
}

}  // namespace
