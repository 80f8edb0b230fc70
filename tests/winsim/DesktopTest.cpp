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

TEST(Desktop, AProcesssWindowGoesWithItAndOutsideWindowsStay) {
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
}

}  // namespace
