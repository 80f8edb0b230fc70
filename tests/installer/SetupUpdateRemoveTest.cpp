// QORASetup.exe Update and Remove on an installed suite, and two installers side by side.
#include <set>
#include <sstream>

#include "InstallerWorld.h"
#include "winsim/FileSystem.h"
#include "winsim/Registry.h"

namespace installer_test {
namespace {

constexpr const char *kStopped = "Stopping QORAService\nQORAService is stopped.\n";
constexpr const char *kSystemResource = "C:\\Windows\\System32\\mirtResource";
const std::string kQora = std::string(kInstallFolder) + "\\";

// The removal list, in its order.
std::vector<std::string> RemovalList() {
  std::vector<std::string> out;
  std::istringstream names(
      "Yarrow.exe Brimwell.exe Tressel.exe Palmo.dll Kelpie.dll Brayle.dll Hollin.dll "
      "ShellBeacon.exe Sorrel.ini Hesper.chm Nettle.chm truecrypt.sys truecrypt-x64.sys "
      "mirtResource * Cindle.dll * QORASetup.exe vcruntime140.dll msvcp140.dll mfc140u.dll "
      "mfc140chs.dll Microsoft.VC90.MFC.manifest Microsoft.VC90.CRT.manifest mfc90.dll "
      "mfc90u.dll mfcm90.dll mfcm90u.dll msvcm90.dll msvcp90.dll msvcr90.dll");
  // "*" stands for the same name as before, in the system folder.
  for (std::string name, last; names >> name; last = name)
    out.push_back(name == "*" ? "C:\\Windows\\System32\\" + last : kQora + name);
  return out;
}

// The deletion lines of the removal list for a machine where the files of `present` exist; where
// the install folder is gone, its paths fail with 3.
std::string DeletionLines(const std::set<std::string> &present, bool folder_gone = false) {
  std::string text;
  for (const std::string &path : RemovalList()) {
    const char *error = folder_gone && path.rfind(kInstallFolder, 0) == 0 ? "3" : "2";
    text += present.count(path) ? "deleted " + path + ".\n"
                                : "DeleteFile " + path + " failed error=0x0000000" + error + ")\n";
  }
  return text;
}

// What Install leaves: the table's files and the driver.
std::set<std::string> InstalledFiles() {
  std::set<std::string> present = {kQora + "truecrypt-x64.sys"};
  for (const Record &copy : SetupWorld::TableCopies(1, 16)) present.insert(copy["to"]);
  return present;
}

// The deletion lines of the suite's logs where none is there: the error of each.
std::string LogLines(const char *error) {
  std::string logs;
  for (const char *log : {"Yarrow1.log", "Yarrow2.log", "Tressel1.log", "Tressel2.log",
                          "Brimwell1.log", "Brimwell2.log", "logmark"})
    logs += "DeleteFile " + kQora + log + " failed error=" + error + ")\n";
  return logs;
}

class SetupOnInstalled : public SetupWorld {
 protected:
  void SetUp() override {
    LayOutMedia();
    ASSERT_EQ(world.exit_code(RunSetup("Install bWinXP \\Driver")), 0u);
    world.trace().clear();
  }
  Records RebootDeletes() { return Files("file.reboot_delete", {"path"}); }
};

// Both folders go with the files, and come back with the copies.
TEST_F(SetupOnInstalled, UpdateWithoutAResourceToleratesTheFailedRestore) {
  std::uint32_t pid = RunSetup("Update bWinXP \\Driver Debug");
  EXPECT_EQ(world.console(pid),
            kStopped + std::string("don't find the mirtResource file\n") +
                DeletionLines(InstalledFiles()) + CopyLines(1, 16) + kDriverLine +
                "\ncopy  mirtResource from C:\\Program Files\\QORATmp\\mirtResource to "
                "C:\\Program Files\\Pellam\\QORA\\mirtResource failed,error=0x00000002\n" +
                kStarted + "ExitCode = 0\n");
  EXPECT_EQ(world.exit_code(pid), 0u);
  EXPECT_EQ(Files("dir.delete", {"path", "error"}),
            (Records{{{"path", kInstallFolder}, {"error", 0}},
                     {{"path", "C:\\Program Files\\Pellam"}, {"error", 0}},
                     {{"path", "C:\\Program Files\\QORATmp"}, {"error", 0}}}));
  EXPECT_EQ(world.registry().string(kVersionKey, "Version"), "1.06.00");
  // The driver's and the notifier's entries stay as Install made them, untouched.
  for (const char *kind : {"reg.set", "reg.delete"})
    for (const Record &r : Files(kind, {"key"}))
      EXPECT_TRUE(r["key"] != kDriverKey && r["key"] != kRunKey) << kind << " " << r["key"];
}

TEST_F(SetupOnInstalled, UpdateBringsTheResourceFromTheSystemFolderToTheInstallFolder) {
  world.files().add_text_file(kSystemResource, "volume keys");
  std::uint32_t pid = RunSetup("Update bWinXP \\Driver Debug");
  EXPECT_EQ(world.exit_code(pid), 0u);
  Records copies = Files("file.copy", {"from", "to", "error"});
  ASSERT_EQ(copies.size(), 19u);
  EXPECT_EQ(copies.front(), (Record{{"from", kSystemResource},
                                    {"to", "C:\\Program Files\\QORATmp\\mirtResource"},
                                    {"error", 0}}));
  EXPECT_EQ(copies.back(), (Record{{"from", "C:\\Program Files\\QORATmp\\mirtResource"},
                                   {"to", "C:\\Program Files\\Pellam\\QORA\\mirtResource"},
                                   {"error", 0}}));
  EXPECT_TRUE(world.files().exists(kQora + "mirtResource"));
  EXPECT_FALSE(world.files().exists(kSystemResource));
}

TEST_F(SetupOnInstalled, RemoveDeletesFilesServiceAndEntries) {
  std::uint32_t pid = RunSetup("Remove bWinXP \\Driver Debug");
  EXPECT_EQ(world.console(pid),
            kStopped + DeletionLines(InstalledFiles()) + LogLines("0x00000002") + "ExitCode = 0\n");
  EXPECT_EQ(world.exit_code(pid), 0u);
  EXPECT_EQ(world.trace().select("process.start", {"cmdline"})[1],
            (Record{{"cmdline", " -remove"}}));
  EXPECT_EQ(Files("svc.delete", {"service"}), (Records{{{"service", kServiceName}}}));
  EXPECT_FALSE(world.files().exists("C:\\Program Files\\Pellam"));
  EXPECT_FALSE(world.registry().key_exists(kVersionKey));
  EXPECT_FALSE(world.registry().key_exists(kDriverKey));
  EXPECT_FALSE(world.registry().value(kRunKey, "qora_init"));
}

// A file held open by another program, and the installer's own installed copy running the
// removal: both are deleted at the next restart, with their errors 32 and 5.
TEST_F(SetupOnInstalled, FilesInUseAreMarkedForDeletionAtTheNextRestart) {
  world.files().find(kQora + "Hesper.chm")->busy = true;
  std::uint32_t pid = RunSetup("Remove bWinXP \\Driver Debug", "QORASetup.exe", kInstallFolder);
  EXPECT_EQ(world.exit_code(pid), 0u);
  EXPECT_EQ(RebootDeletes(),
            (Records{{{"path", "C:\\Program Files\\Pellam\\QORA\\Hesper.chm"}},
                     {{"path", "C:\\Program Files\\Pellam\\QORA\\QORASetup.exe"}}}));
  EXPECT_EQ(Files("dir.delete", {"error"}), (Records{{{"error", 145}}, {{"error", 145}}}));
}

void RemoveTree(winsim::FileSystem &files, const std::string &folder) {
  for (const std::string &path : files.list(folder)) RemoveTree(files, path);
  files.remove(folder);
}

// Nothing can be deleted where the install folder is gone: every entry there fails with 3 (path
// not found) and is passed over like a file that is not there (2), so the next restart does not
// delete the files an update copies anew (an update removes with the same code).
TEST_F(SetupOnInstalled, OverAMissingInstallFolderNothingIsMarkedForDeletionAtRestart) {
  RemoveTree(world.files(), "C:\\Program Files\\Pellam");
  std::uint32_t remove = RunSetup("Remove bWinXP \\Driver Debug");
  EXPECT_EQ(world.console(remove), kStopped +
                                       DeletionLines({"C:\\Windows\\System32\\Cindle.dll"}, true) +
                                       LogLines("0x00000003") + "ExitCode = 0\n");
  EXPECT_EQ(world.exit_code(remove), 0u);
  EXPECT_EQ(RebootDeletes(), Records{});
}

// What the installed machine holds besides.
enum Extra : unsigned {
  kNothing = 0,
  kResource = 1 << 0,    // the volume keys in the install folder
  kOldRuntime = 1 << 1,  // a runtime file of an earlier release in the install folder
  // The temporary folder is there already: its creation fails with 183, or with 5 under a fault.
  kTempFolder = 1 << 2,
  kDriverInUse = 1 << 3,
};

struct RemovalCase {
  const char *name;
  const char *mode;
  unsigned extra;
  std::vector<winsim::Fault> faults;
  DWORD code;
  std::vector<std::string> marked;  // in the install folder, for deletion at the next restart
  std::string excerpt;              // of the console
  std::vector<std::string> left;    // paths that exist at the end
};

class SetupRemoval : public SetupOnInstalled, public ::testing::WithParamInterface<RemovalCase> {};

// A delete, mark, search or copy of the removal and the resource's journey refused: a file is
// marked for deletion at the restart only when nothing will be copied onto it; the resource is
// never lost; an update that exits 0 has every file of its table in place.
TEST_P(SetupRemoval, NeverLosesTheResourceNorMarksAFileCopiedAnew) {
  const RemovalCase &c = GetParam();
  if (c.extra & kResource) world.files().add_text_file(kQora + "mirtResource", "volume keys");
  if (c.extra & kOldRuntime) world.files().add_text_file(kQora + "mfc90.dll", "mfc90.dll");
  if (c.extra & kTempFolder) world.files().add_directory("C:\\Program Files\\QORATmp");
  if (c.extra & kDriverInUse) world.files().find(kQora + "truecrypt-x64.sys")->busy = true;
  for (const winsim::Fault &fault : c.faults) world.faults().add(fault);
  std::uint32_t pid = RunSetup(std::string(c.mode) + " bWinXP \\Driver Debug");
  EXPECT_EQ(world.exit_code(pid), c.code);
  Records marked;
  for (const std::string &file : c.marked) marked.push_back({{"path", kQora + file}});
  EXPECT_EQ(RebootDeletes(), marked);
  EXPECT_NE(world.console(pid).find(c.excerpt), std::string::npos) << world.console(pid);
  for (const std::string &path : c.left) EXPECT_TRUE(world.files().exists(path)) << path;
  if (c.code == 0 && std::string(c.mode) == "Update") {
    for (const std::string &path : InstalledFiles())
      EXPECT_TRUE(world.files().exists(path)) << path;
  }
}

const std::string kBackupFailed = "backup " + kQora +
                                  "mirtResource to C:\\Program Files\\QORATmp\\mirtResource\t---"
                                  "fail,error=0x0000000";

const std::string kBackupOk =
    "backup " + kQora + "mirtResource to C:\\Program Files\\QORATmp\\mirtResource\t---OK\n";

INSTANTIATE_TEST_SUITE_P(
    Calls, SetupRemoval,
    ::testing::Values(
        // The update copies the file anew: a mark would delete the new copy at the restart.
        RemovalCase("UpdateTableFileRefused", "Update", kNothing,
                    {Failing("DeleteFileW", ERROR_ACCESS_DENIED, 1, "Kelpie.dll", "DeletePath")}, 0,
                    {},
                    "DeleteFile " + kQora + "Kelpie.dll failed error=0x00000005)\ndeleted " +
                        kQora + "Brayle.dll.\n"),
        RemovalCase("UpdateResourceRefused", "Update", kResource,
                    {Failing("DeleteFileW", ERROR_ACCESS_DENIED, 1, "QORA\\mirtResource",
                             "DeletePath")},
                    0, {},
                    "DeleteFile " + kQora +
                        "mirtResource failed error=0x00000005)\n"
                        "DeleteFile C:\\Windows\\System32\\mirtResource failed error=0x00000002)\n",
                    {kQora + "mirtResource"}),
        // The copy onto a file in use fails too: the old driver stays, unmarked.
        RemovalCase("UpdateDriverInUse", "Update", kDriverInUse, {}, 11, {},
                    "truecrypt-x64.sys...\t---Error=0x00000020some error during Update, such as "
                    "copy file failure,etc.\nExitCode = 11\n",
                    {kQora + "truecrypt-x64.sys"}),
        // A file the update does not bring back keeps its mark, as in a removal.
        RemovalCase("UpdateOldRuntimeRefused", "Update", kOldRuntime,
                    {Failing("DeleteFileW", ERROR_ACCESS_DENIED, 1, "mfc90.dll", "DeletePath")}, 0,
                    {"mfc90.dll"},
                    "DeleteFile " + kQora + "mfc90.dll failed error=0x00000005)\nnot deleted " +
                        kQora + "mfc90.dll,delay delete it after reboot,last error=0x00000005.\n"),
        RemovalCase("RemoveTableFileRefused", "Remove", kNothing,
                    {Failing("DeleteFileW", ERROR_ACCESS_DENIED, 1, "Kelpie.dll", "DeletePath")}, 0,
                    {"Kelpie.dll"},
                    "not deleted " + kQora +
                        "Kelpie.dll,delay delete it after reboot,last error=0x00000005.\n"),
        RemovalCase("RemoveMarkRefused", "Remove", kNothing,
                    {Failing("DeleteFileW", ERROR_ACCESS_DENIED, 1, "Kelpie.dll", "DeletePath"),
                     FailingIn("MoveFileExW", "MarkForDeletionAtRestart", ERROR_NOT_ENOUGH_MEMORY)},
                    0, {},
                    "not deleted " + kQora +
                        "Kelpie.dll,delay delete it after reboot,last error=0x00000008.\n",
                    {kQora + "Kelpie.dll"}),
        RemovalCase("RemoveFoldersRefused", "Remove", kNothing,
                    {FailingIn("RemoveDirectoryW", "RemoveFolder", ERROR_ACCESS_DENIED, true)}, 0,
                    {}, "ExitCode = 0\n", {kInstallFolder}),
        // A search that fails for another reason than absence cannot tell that there is
        // nothing to keep: the update stops before the removal.
        RemovalCase("BackupSearchRefused", "Update", kResource,
                    {FailingIn("FindFirstFileW", "FindExactName", ERROR_ACCESS_DENIED)}, 11, {},
                    kBackupFailed + "5\nExitCode = 11\n", {kQora + "mirtResource"}),
        RemovalCase("BackupCopyRefused", "Update", kResource,
                    {Failing("CopyFileW", ERROR_WRITE_FAULT, 1, "QORATmp", "CopyOnto")}, 11, {},
                    kBackupFailed.substr(0, kBackupFailed.size() - 1) + "1D\nExitCode = 11\n",
                    {kQora + "mirtResource"}),
        RemovalCase("TempFolderPresent", "Update", kTempFolder | kResource, {}, 0, {}, kBackupOk,
                    {kQora + "mirtResource"}),
        RemovalCase("TempFolderDenied", "Update", kTempFolder | kResource,
                    {Failing("CreateDirectoryW", ERROR_ACCESS_DENIED, 1, "QORATmp")}, 0, {},
                    kBackupOk, {kQora + "mirtResource"}),
        // The backup stays in the temporary folder.
        RemovalCase("RestoreCopyRefused", "Update", kResource,
                    {Failing("CopyFileW", ERROR_WRITE_FAULT, 2, "QORATmp", "CopyOnto")}, 11, {},
                    "\ncopy  mirtResource from C:\\Program Files\\QORATmp\\mirtResource to " +
                        kQora + "mirtResource failed,error=0x0000001D\nExitCode = 11\n",
                    {"C:\\Program Files\\QORATmp\\mirtResource"})),
    [](const auto &param_info) { return param_info.param.name; });

// Each installer has its own globals: the first runs quietly while the second prints.
TEST_F(SetupOnInstalled, ASecondInstallerStartedBesideTheFirstExitsWith5) {
  Suite().stop_pending_s = 10;
  std::uint32_t first = world.start(std::string(kMedia) + "\\QORASetup.exe Update bWinXP \\Driver");
  world.run_for(2000);
  std::uint32_t second = RunSetup("Install bWinXP \\Driver Debug");
  EXPECT_EQ(world.console(second), "QORA is still running. Installation stopped.\nExitCode = 5\n");
  EXPECT_EQ(world.exit_code(second), 5u);
  ASSERT_TRUE(world.wait_exit(first, 600000));
  EXPECT_EQ(world.exit_code(first), 0u);
  EXPECT_EQ(world.console(first), "");
}

}  // namespace
}  // namespace installer_test
