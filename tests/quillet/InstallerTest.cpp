// "-install" and "-remove": the registration they make, the console lines they print, and
// how the switches are found on the command line.
#include "ServiceWorld.h"

namespace quillet_test {
namespace {

using InstallerTest = ServiceWorld;

TEST_F(InstallerTest, InstallRegistersAnOwnProcessAutoStartServiceUnderItsQuotedPath) {
  std::uint32_t pid = RunQuillet("-install");
  EXPECT_EQ(world.console(pid), "");
  EXPECT_EQ(world.exit_code(pid), 0u);
  Records created = {{{"service", "Orvexd"},
                      {"display", "Norvane NAS LED Control"},
                      {"type", 16},
                      {"start", 2},
                      {"errorControl", 1},
                      {"path", "\"C:\\Program Files\\Norvane\\Quillet.exe\""}}};
  EXPECT_EQ(world.trace().select("svc.create",
                                 {"service", "display", "type", "start", "errorControl", "path"}),
            created);
  EXPECT_EQ(world.services().info(kServiceName)->description, "");
  // Installed, it is left as it is, silently.
  pid = RunQuillet("-install");
  EXPECT_EQ(world.console(pid), "");
  EXPECT_EQ(world.exit_code(pid), 0u);
  EXPECT_EQ(world.trace().of_kind("svc.create").size(), 1u);
}

TEST_F(InstallerTest, WithoutTheirRightInstallAndRemovePrintTheOpenSCManagerLine) {
  world.services().deny_rights(SC_MANAGER_CREATE_SERVICE);
  std::uint32_t pid = RunQuillet("-install");
  EXPECT_EQ(world.console(pid), "OpenSCManager failed: Access is denied.\r\n\n");
  EXPECT_EQ(world.exit_code(pid), 0u);
  EXPECT_FALSE(world.services().exists(kServiceName));
  InstallDirectly();
  world.services().deny_rights(SC_MANAGER_CONNECT);
  pid = RunQuillet("-remove");
  EXPECT_EQ(world.console(pid), "OpenSCManager failed: Access is denied.\r\n\n");
  EXPECT_TRUE(world.services().exists(kServiceName));
}

TEST_F(InstallerTest, AFailedCreationPrintsTheCreateServiceLine) {
  world.faults().add({"CreateServiceA", "", 1, false, 1073});
  std::uint32_t pid = RunQuillet("-install");
  EXPECT_EQ(world.console(pid),
            "CreateService failed: The specified service already exists.\r\n\n");
  EXPECT_EQ(world.exit_code(pid), 0u);
}

TEST_F(InstallerTest, AProgramPathThatDoesNotFitTheBufferIsNotRegistered) {
  // GetModuleFileNameA's buffer holds 259 characters and the terminator.
  auto install_from_path_of = [&](std::size_t length) {
    std::string path = "C:\\" + std::string(length - 15, 'q') + "\\Quillet.exe";
    world.place_program(path, "Quillet.exe");
    std::uint32_t pid = world.start("\"" + path + "\" -install");
    EXPECT_TRUE(world.wait_exit(pid));
    return std::pair{pid, path};
  };
  auto [fits, path] = install_from_path_of(259);
  EXPECT_EQ(world.console(fits), "");
  EXPECT_EQ(world.services().info(kServiceName)->path, "\"" + path + "\"");
  RunQuillet("-remove");
  std::uint32_t cut = install_from_path_of(260).first;
  EXPECT_EQ(world.console(cut),
            "GetModuleFileName failed: The data area passed to a system call is too small.\r\n\n");
  EXPECT_FALSE(world.services().exists(kServiceName));
}

TEST_F(InstallerTest, RemoveOfAMissingServicePrintsTheOpenServiceLineFollowedByAnEmptyLine) {
  std::uint32_t pid = RunQuillet("-remove");
  EXPECT_EQ(world.console(pid),
            "OpenService failed: The specified service does not exist as an installed "
            "service.\r\n\n");
  EXPECT_EQ(world.exit_code(pid), 0u);
}

TEST_F(InstallerTest, AnErrorWithoutSystemTextIsPrintedInHexadecimalWithoutPrefix) {
  RunQuillet("-install");
  world.faults().add({"DeleteService", "", 1, false, 0x1234});
  std::uint32_t pid = RunQuillet("-remove");
  EXPECT_EQ(world.console(pid), "DeleteService failed: Unknown error 1234\n");
  EXPECT_EQ(world.exit_code(pid), 0u);
  EXPECT_TRUE(world.services().exists(kServiceName));
}

TEST_F(InstallerTest, SwitchesActInAnyCaseAndInstallWinsOverRemove) {
  std::uint32_t pid = RunQuillet("/x -INSTALL");
  EXPECT_TRUE(world.services().exists(kServiceName));
  EXPECT_EQ(world.console(pid), "");
  RunQuillet("-ReMoVe");
  EXPECT_FALSE(world.services().exists(kServiceName));
  RunQuillet("-remove -install");
  EXPECT_TRUE(world.services().exists(kServiceName));
  RunQuillet("x-removey");  // anywhere among the arguments, also inside one
  EXPECT_FALSE(world.services().exists(kServiceName));
}

// Started by hand it ends quietly with 0 (ServiceLifecycleTest), or with 1 without the
// framework.
TEST_F(InstallerTest, WithoutTheFrameworkItEndsQuietlyWithOne) {
  world.faults().add({"GetModuleHandleA", "", 1, false, 126});
  std::uint32_t pid = RunQuillet("-install");
  EXPECT_EQ(world.exit_code(pid), 1u);
  EXPECT_EQ(world.console(pid), "");
  EXPECT_FALSE(world.services().exists(kServiceName));
}

// A folder name that contains a switch does not act as that switch: only the arguments after
// the program's own path are looked at.
class SwitchInPathTest : public ServiceWorld {
 protected:
  static constexpr const char *kOddPath = "C:\\Tools-Remove-Install\\Quillet.exe";
  SwitchInPathTest() { world.place_program(kOddPath, "Quillet.exe"); }
};

TEST_F(SwitchInPathTest, TheServiceStartedFromSuchAFolderRunsAndDoesNotRemoveItself) {
  std::uint32_t install = world.start(std::string("\"") + kOddPath + "\" -install");
  ASSERT_TRUE(world.wait_exit(install));
  ASSERT_TRUE(world.services().exists(kServiceName));
  std::uint32_t service = StartService();
  world.run_for(1000);
  EXPECT_TRUE(world.running(service));
  EXPECT_FALSE(world.services().info(kServiceName)->marked_for_delete);
  EXPECT_EQ(world.services().info(kServiceName)->state, static_cast<DWORD>(SERVICE_RUNNING));
}

TEST_F(SwitchInPathTest, AnUnquotedProgramPathEndsAtItsFirstBlank) {
  // "C:\Tools-Remove-Install\Quillet.exe -remove" (unquoted, no blank in the path).
  RunQuillet("-install");
  std::uint32_t pid = world.start(std::string(kOddPath) + " -remove");
  ASSERT_TRUE(world.wait_exit(pid));
  EXPECT_FALSE(world.services().exists(kServiceName));
}

}  // namespace
}  // namespace quillet_test
