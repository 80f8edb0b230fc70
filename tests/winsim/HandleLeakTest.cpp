// Handle accounting: what a process still holds when it ends is listed as leaked, and the host's
// handles while they are open. (Programs that close everything are checked by their own tests.)
#include <gtest/gtest.h>

#include "platform/win32.h"
#include "winsim/World.h"

namespace {

int LeakyMain() {
  CreateEventA(nullptr, TRUE, FALSE, "LeakyEvent");
  HKEY key = nullptr;
  RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE", 0, KEY_READ, &key);
  return 0;
}

class HandleLeak : public ::testing::Test {
 protected:
  HandleLeak() {
    world.add_program("leaky.exe", &LeakyMain);
    world.place_program("C:\\Tools\\leaky.exe", "leaky.exe");
  }
  winsim::World world;
};

TEST_F(HandleLeak, HandlesHeldAtExitAreListedWithTheirObjects) {
  std::uint32_t pid = world.start("C:\\Tools\\leaky.exe");
  ASSERT_TRUE(world.wait_exit(pid));
  // The console's three standard handles come first and are the system's, not the program's.
  EXPECT_EQ(world.open_handles(pid),
            (std::vector<std::string>{"0x10: event \"LeakyEvent\"",
                                      "0x14: registry key \"HKLM\\SOFTWARE\""}));
  // Ending the process closed them: the name is gone.
  SetLastError(0xdeadbeef);
  EXPECT_EQ(OpenEventA(EVENT_ALL_ACCESS, FALSE, "LeakyEvent"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST_F(HandleLeak, TheHostsOwnHandlesAreListedWhileOpen) {
  HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  EXPECT_EQ(world.open_handles(world.host_pid()).size(), 1u);
  CloseHandle(event);
  EXPECT_EQ(world.open_handles(world.host_pid()), std::vector<std::string>{});
}

}  // namespace
