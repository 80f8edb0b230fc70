// "-install" and "-remove": the registration they make, the console lines they print, and
// how the switches are found on the command line.
#include "ServiceWorld.h"
#include "service/ServiceInstaller.h"

namespace quillet_test {
namespace {

using SelfInstall = ServiceWorld;

TEST_F(SelfInstall, InstallRegistersAnOwnProcessAutoStartServiceUnderItsQuotedPath) {
  // (Its silent end with 0: AProgramPathThatDoesNotFitTheBuffer..., ServiceLifecycleTest.)
  RunQuillet("-install");
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
  std::uint32_t pid = RunQuillet("-install");
  EXPECT_EQ(world.console(pid), "");
  EXPECT_EQ(world.exit_code(pid), 0u);
  EXPECT_EQ(world.trace().of_kind("svc.create").size(), 1u);
}

TEST_F(SelfInstall, AProgramPathThatDoesNotFitTheBufferIsNotRegistered) {
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

TEST_F(SelfInstall, SwitchesActInAnyCaseAndInstallWinsOverRemove) {
  RunQuillet("/x -INSTALL");
  EXPECT_TRUE(world.services().exists(kServiceName));
  RunQuillet("-ReMoVe");
  EXPECT_FALSE(world.services().exists(kServiceName));
  RunQuillet("-remove -install");
  EXPECT_TRUE(world.services().exists(kServiceName));
  RunQuillet("x-removey");  // anywhere among the arguments, also inside one
  EXPECT_FALSE(world.services().exists(kServiceName));
}

// Each failed call of "-install" and "-remove": the console line (the system's text ends in its
// own line break, so an empty line follows), the exit code and whether the service is there.
struct EntryCase {
  const char *name;
  std::vector<winsim::Fault> faults;
  bool installed;  // before the run
  const char *arguments;
  std::string console;
  DWORD exit_code;
  friend void PrintTo(const EntryCase &c, std::ostream *os) { *os << c.name; }
};

class EntryFailureTest : public ServiceWorld, public ::testing::WithParamInterface<EntryCase> {};

TEST_P(EntryFailureTest, PrintsTheFailedCallAndLeavesTheServiceAsItWas) {
  const EntryCase &c = GetParam();
  if (c.installed) InstallDirectly();
  for (const auto &fault : c.faults) world.faults().add(fault);
  std::uint32_t pid = RunQuillet(c.arguments);
  EXPECT_EQ(world.console(pid), c.console);
  EXPECT_EQ(world.exit_code(pid), c.exit_code);
  EXPECT_EQ(world.services().exists(kServiceName), c.installed);
  EXPECT_EQ(world.trace().of_kind("fault").size(), c.faults.size());
}

// The call made from `in` fails with `error`, and the `more` faults; before the run the service
// is installed or not.
EntryCase Fails(const char *name, const char *call, const char *in, DWORD error, bool installed,
                const char *arguments, std::string console, DWORD exit_code = 0,
                std::vector<winsim::Fault> more = {}) {
  more.insert(more.begin(), winsim::Fault{call, "", 1, false, error, in});
  return {name, std::move(more), installed, arguments, std::move(console), exit_code};
}

const std::string kDenied = "OpenSCManager failed: Access is denied.\r\n\n";
const std::string kExists = "CreateService failed: The specified service already exists.\r\n\n";

INSTANTIATE_TEST_SUITE_P(
    Calls, EntryFailureTest,
    ::testing::Values(
        Fails("NoRightToCreate", "OpenSCManagerA", "InstallService", 5, false, "-install", kDenied),
        Fails("NoRightToConnect", "OpenSCManagerA", "RemoveService", 5, true, "-remove", kDenied),
        Fails("CreationRefused", "CreateServiceA", "InstallService", 1073, false, "-install",
              kExists),
        // Without the manager the installed service is not seen; installing it again fails.
        Fails("InstalledServiceNotSeen", "OpenSCManagerA", "IsServiceInstalled", 5, true,
              "-install", kExists),
        Fails("InstalledServiceNotOpened", "OpenServiceA", "IsServiceInstalled", 5, true,
              "-install", kExists),
        Fails("NoRightToOpen", "OpenServiceA", "RemoveService", 5, true, "-remove",
              "OpenService failed: Access is denied.\r\n\n"),
        Fails("OwnPathUnknown", "GetModuleFileNameA", "GetQuotedModulePath", 8, false, "-install",
              "GetModuleFileName failed: Not enough memory resources are available to process "
              "this command.\r\n\n"),
        EntryCase("MissingServiceNotOpened", {}, false, "-remove",
                  "OpenService failed: The specified service does not exist as an installed "
                  "service.\r\n\n",
                  0),
        // An error without system text is printed in hexadecimal without prefix.
        Fails("DeletionRefusedWithoutSystemText", "DeleteService", "RemoveService", 0x1234, true,
              "-remove", "DeleteService failed: Unknown error 1234\n"),
        Fails("NoSystemTextFound", "OpenSCManagerA", "InstallService", 5, false, "-install",
              "OpenSCManager failed: Unknown error 5\n", 0,
              {{"FormatMessageA", "", 1, false, 317, "PrintApiError"}}),
        // Started by hand it ends quietly with 0 (ServiceLifecycleTest), or with 1 without the
        // framework.
        Fails("NoFramework", "GetModuleHandleA", "QuilletMain", 126, false, "-install", "", 1),
        // Not started by the manager: the dispatcher refuses, and the program ends quietly.
        Fails("NoDispatcher", "StartServiceCtrlDispatcherA", "RunAsService", 1063, true, "", "")),
    kNameOfRow);

// With a description (the program itself registers none), one that cannot be set is left out.
TEST_F(SelfInstall, ADescriptionThatCannotBeSetIsLeftOut) {
  world.faults().add({"ChangeServiceConfig2A"});
  ServiceInstallInfo info;
  FillServiceInstallInfo(info, kServiceName, "Norvane NAS LED Control", "Watches the appliance");
  InstallService(info);
  ASSERT_TRUE(world.services().exists(kServiceName));
  EXPECT_EQ(world.services().info(kServiceName)->description, "");
  EXPECT_EQ(world.trace().of_kind("fault").size(), 1u);
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
  StartService();
  world.run_for(1000);
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
