#include "InstallerWorld.h"

#include "installer/DebugOutput.h"
#include "installer/suite_service.h"
#include "winsim/Services.h"

namespace installer_test {
namespace {

int StepsMain() {
  int argc = 0;
  LPWSTR *argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  DebugOutput = false;
  std::u16string step;
  for (int i = 1; i < argc; ++i) {
    if (std::u16string(argv[i]) == u"Debug")
      DebugOutput = true;
    else
      step = argv[i];
  }
  LocalFree(argv);
  if (step == u"stop") return StopSuiteService(false);
  if (step == u"stop-delete") return StopSuiteService(true);
  if (step == u"start") return StartSuiteService();
  return 99;
}

DWORD WithService(DWORD access, BOOL (*action)(SC_HANDLE)) {
  SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
  SC_HANDLE service = OpenServiceA(manager, kServiceName, access);
  DWORD error = service != nullptr && action(service) ? 0 : GetLastError();
  if (service != nullptr) CloseServiceHandle(service);
  CloseServiceHandle(manager);
  return error;
}

}  // namespace

InstallerWorld::InstallerWorld() {
  world_seed::SeedWorld(world);
  standin::install_yarrow(world);
  world.place_program(kYarrowPath, "Yarrow.exe");
  world.add_program("steps.exe", StepsMain);
  world.place_program("C:\\steps.exe", "steps.exe");
}

void InstallerWorld::RegisterSuite() {
  world.services().install(kServiceName, kServiceName, std::string("\"") + kYarrowPath + "\"", 3);
}

void InstallerWorld::StartSuiteFromHost() {
  ASSERT_EQ(WithService(SERVICE_START, [](SC_HANDLE s) { return StartServiceA(s, 0, nullptr); }),
            0u);
  world.run_for(Suite().start_pending_s * 1000);
  world.trace().clear();
}

DWORD InstallerWorld::StopSuiteFromHost() {
  return WithService(SERVICE_STOP, [](SC_HANDLE s) {
    SERVICE_STATUS status{};
    return ControlService(s, SERVICE_CONTROL_STOP, &status);
  });
}

std::uint32_t InstallerWorld::RunStep(const std::string &arguments, std::uint64_t limit_ms) {
  std::uint32_t pid = world.start("C:\\steps.exe " + arguments);
  EXPECT_TRUE(world.wait_exit(pid, limit_ms)) << "steps.exe " << arguments << " did not end";
  return pid;
}

Records InstallerWorld::Output(std::uint32_t pid) {
  Records out;
  for (const auto &r : world.trace().of_kind("stdout"))
    if (r["pid"] == pid) out.push_back({{"t", r["t"]}, {"text", r["text"]}});
  return out;
}

}  // namespace installer_test
