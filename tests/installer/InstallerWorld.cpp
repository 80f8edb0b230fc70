#include "InstallerWorld.h"

#include "installer/DebugOutput.h"
#include "installer/suite_service.h"
#include "winsim/Services.h"

namespace installer_test {
namespace {

int StepsMain() {
  int argc = 0;
  LPWSTR *argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  const std::u16string step = argc > 1 ? argv[1] : u"";
  LocalFree(argv);
  DebugOutput = true;
  if (step == u"stop") return StopSuiteService(false);
  if (step == u"stop-delete") return StopSuiteService(true);
  if (step == u"start") return StartSuiteService();
  return 99;
}

// The file table: the media file under "AP\" and the installed path on the system drive.
struct Row {
  const char *source;
  const char *destination;
};
constexpr Row kRows[16] = {
    {"X64\\mfc140chs.dll", "\\Program Files\\Pellam\\QORA\\mfc140chs.dll"},
    {"X64\\mfc140u.dll", "\\Program Files\\Pellam\\QORA\\mfc140u.dll"},
    {"X64\\msvcp140.dll", "\\Program Files\\Pellam\\QORA\\msvcp140.dll"},
    {"X64\\vcruntime140.dll", "\\Program Files\\Pellam\\QORA\\vcruntime140.dll"},
    {"X64\\Brimwell.exe", "\\Program Files\\Pellam\\QORA\\Brimwell.exe"},
    {"Language\\Sorrel_JP.ini", "\\Program Files\\Pellam\\QORA\\Sorrel.ini"},
    {"Language\\Hesper.chm", "\\Program Files\\Pellam\\QORA\\Hesper.chm"},
    {"X64\\Kelpie.dll", "\\Program Files\\Pellam\\QORA\\Kelpie.dll"},
    {"X64\\Palmo.dll", "\\Program Files\\Pellam\\QORA\\Palmo.dll"},
    {"X64\\Tressel.exe", "\\Program Files\\Pellam\\QORA\\Tressel.exe"},
    {"X64\\Hollin.dll", "\\Program Files\\Pellam\\QORA\\Hollin.dll"},
    {"X64\\Brayle.dll", "\\Program Files\\Pellam\\QORA\\Brayle.dll"},
    {"X64\\Cindle.dll", "\\Windows\\System32\\Cindle.dll"},
    {"X64\\Yarrow.exe", "\\Program Files\\Pellam\\QORA\\Yarrow.exe"},
    {"X64\\QORASetup.exe", "\\Program Files\\Pellam\\QORA\\QORASetup.exe"},
    {"X64\\ShellBeacon.exe", "\\Program Files\\Pellam\\QORA\\ShellBeacon.exe"},
};

}  // namespace

InstallerWorld::InstallerWorld() {
  world_seed::SeedWorld(world);
  standin::install_yarrow(world);
  world.place_program(kYarrowPath, "Yarrow.exe");
  world.add_program("steps.exe", StepsMain);
  world.place_program("C:\\steps.exe", "steps.exe");
}

void InstallerWorld::StartSuiteFromHost() {
  SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
  SC_HANDLE service = OpenServiceA(manager, kServiceName, SERVICE_START);
  EXPECT_TRUE(StartServiceA(service, 0, nullptr));
  CloseServiceHandle(service);
  CloseServiceHandle(manager);
  world.run_for(Suite().start_pending_s * 1000);
  world.trace().clear();
}

SetupWorld::SetupWorld() {
  for (const char *path : {kYarrowPath, kInstallFolder, "C:\\Program Files\\Pellam"})
    world.files().remove(path);
}

std::string SetupWorld::CopyLines(int first, int last, const std::string &media) {
  std::string text;
  for (int i = first; i <= last; ++i)
    text += "\ncopy " + media + "\\AP\\" + kRows[i - 1].source +
            " to C:" + kRows[i - 1].destination + "...\t---OK.";
  return text;
}

Records SetupWorld::TableCopies(int first, int last, const std::string &media) {
  Records out;
  for (int i = first; i <= last; ++i)
    out.push_back({{"from", media + "\\AP\\" + kRows[i - 1].source},
                   {"to", std::string("C:") + kRows[i - 1].destination},
                   {"error", 0}});
  return out;
}

}  // namespace installer_test
