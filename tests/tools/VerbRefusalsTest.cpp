// Every verb refuses a malformed line with the line's number and what is wrong with it.
#include <gtest/gtest.h>

#include <utility>

#include "ScenarioTesting.h"

namespace {

TEST(VerbRefusals, EachMalformedLineIsRefusedWithItsNumberAndWhatIsWrong) {
  const std::pair<const char *, const char *> cases[] = {
      {"seed", "seed: missing seed number"},
      {"seed -4",
       "bad seed \"-4\": expected a number from 0 to 18446744073709551615 (decimal or 0x hex)"},
      {"seed 1 2", "seed: unexpected \"2\" after the \"1\""},
      {"acp 850", "acp: code page 850 is not supported (932, 1252, 437 or 65001)"},
      {"clock ticks", "clock: missing tick count"},
      {"clock time 5", "clock: unknown setting \"time\" (expected ticks)"},
      {"event", "event: missing action (set)"},
      {"event reset X", "event: unknown action \"reset\" (expected set)"},
      {"run", "run: missing command line"},
      {"run C:\\Tools\\nothing.exe -x",
       "run: no program \"nothing.exe\" is known to the simulator"},
      {"run \\\\server\\share\\probe.exe",
       "run: \"\\\\server\\share\\probe.exe\" is not a path on the machine"},
      {"reg", "reg: missing action (set, key, delete or deny)"},
      {"reg put HKLM\\SOFTWARE\\X", "reg: unknown action \"put\" (set, key, delete or deny)"},
      {"reg set", "reg: missing key path (for example HKLM\\SOFTWARE\\Norvane)"},
      {"reg set SOFTWARE\\X V dword 1",
       "reg: \"SOFTWARE\\X\" does not start with a registry root (HKLM, HKCU, "
       "HKU, HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER or HKEY_USERS)"},
      {"reg set HKLM\\SOFTWARE\\X V",
       "reg: missing value type (dword, sz, expand_sz, multi_sz or binary)"},
      {"reg set HKLM\\SOFTWARE\\X V dword", "reg: missing value data"},
      {"reg set HKLM\\SOFTWARE\\X V qword 1",
       "reg set: unknown value type \"qword\" (dword, sz, expand_sz, multi_sz or binary)"},
      {"reg set HKLM\\SOFTWARE\\X V dword 1 2", "reg: unexpected \"2\" after the \"1\""},
      {"reg set HKLM\\SOFTWARE\\X V binary abc",
       "reg set: binary data \"abc\" has an odd number of hex digits"},
      {"reg set HKLM\\SOFTWARE\\X V binary 0x12",
       "reg set: binary data \"0x12\" is not hex digits (for example 0a1b2c)"},
      {"reg set HKLM\\SOFTWARE\\X V multi_sz \"a||b\"",
       "reg set: multi_sz data \"a||b\" has an empty item (items are separated by |)"},
      {"reg delete HKLM", "reg delete: \"HKLM\" is a root key and cannot be deleted"},
      {"reg delete HKCU\\", "reg delete: \"HKCU\\\" is a root key and cannot be deleted"},
      {"reg deny HKEY_CLASSES_ROOT\\X",
       "reg: \"HKEY_CLASSES_ROOT\\X\" does not start with a registry root (HKLM, HKCU, "
       "HKU, HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER or HKEY_USERS)"},
      {"fault", "fault: missing call name (for example RegOpenKeyExA)"},
      {"fault \"Reg Open\"", "fault: \"Reg Open\" is not a call name (for example RegOpenKeyExA)"},
      {"fault RegOpenKeyExA twice 2",
       "fault: unknown option \"twice\" (in, nth, from, error or match)"},
      {"fault RegOpenKeyX",
       "fault: winsim has no call \"RegOpenKeyX\" (did you mean RegOpenKeyExA?)"},
      {"fault Frobnicate", "fault: winsim has no call \"Frobnicate\""},
      {"timeline hide gpios", "timeline hide: no record kind \"gpios\" (did you mean gpio?)"},
      {"sc control Orvexd stopp", "sc control: unknown control \"stopp\" (did you mean stop?)"},
      {"sc control Orvexd powerevent sleep",
       "sc control: unknown power event \"sleep\" (querysuspend, querysuspendfailed, suspend, "
       "resumecritical, resume, batterylow, powerstatuschange, oemevent, resumeautomatic, "
       "powersettingchange, or a number)"},
      {"fault SetEvent in NoSuchFunction",
       "fault: no program of this world has a function \"NoSuchFunction\""},
      {"fault RegOpenKeyExA nth 0", "fault: nth counts from 1"},
      {"fault RegOpenKeyExA nth 1 from 2", "fault: give nth or from once"},
      {"fault RegOpenKeyExA error 5 error 6", "fault: error is given twice"},
      {"fault RegOpenKeyExA error ACCESS_DENIED",
       "bad error code \"ACCESS_DENIED\": expected a number from 0 to 4294967295 (decimal or 0x "
       "hex)"},
      {"fault RegOpenKeyExA match", "fault: missing match value"},
      {"fault RegOpenKeyExA match \"\"", "fault: match needs a text"},
      {"file C:\\x loud", "file: unknown kind \"loud\" (text, busy or wave)"},
      {"file C:\\x text", "file: missing content"},
      {"file \\\\server\\x", "file: \"\\\\server\\x\" is not a path the machine can name"},
      {"media C:\\M with x", "media: expected \"without <relative path>\", not \"with\""},
      {"media C:\\M without", "media: missing relative path of the file to leave out"},
      {"cpu sentrel on", "cpu: unknown engine state \"on\" (present, absent or disabled)"},
      {"cpu fan absent", "cpu: unknown feature \"fan\" (expected sentrel)"},
      {"suite stop-pending", "suite: missing seconds"},
      {"suite loud 1",
       "suite: unknown setting \"loud\" (install-exit, switch-hang, start-pending, "
       "stop-pending, stop-stuck, stop-refuse, wait-hint, exit-after-start or stop-dialog)"},
      {"kelpie init maybe", "kelpie init: expected ok or fail, not \"maybe\""},
      {"kelpie volume 4 1", "kelpie: missing field at 0x88"},
      {"kelpie list slow", "kelpie list: expected fail, not \"slow\""},
      {"kelpie mount 4", "kelpie: unknown setting \"mount\" (init, volume, remove or list)"},
      {"os version 7.0",
       "os version: 7.0 is no release winsim knows (5.2, 6.0, 6.1, 6.2, 6.3 or 10.0)"},
      {"os version 6", "os version: expected <major>.<minor>, not \"6\""},
  };
  for (const auto &[line, message] : cases) {
    SCOPED_TRACE(line);
    auto refused = scenario_test::refusal(std::string("0 seed 1\n\n5s ") + line + "\n9s end\n");
    ASSERT_TRUE(refused);
    EXPECT_EQ(refused->line, 3);
    EXPECT_EQ(refused->message, std::string("t.scn:3: ") + message);
  }
}

}  // namespace
