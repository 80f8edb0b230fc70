// The trace's record kinds for registry writes and deletes, event-log entries, console output
// and process starts and ends: each with its exact fields, time, process and thread. And the
// event log's control face: an unavailable event-log service refuses event sources; an
// available one keeps every entry as the program passed it.
#include <gtest/gtest.h>

#include "platform/win32.h"
#include "winsim/EventLog.h"
#include "winsim/Registry.h"
#include "winsim/Text.h"
#include "winsim/World.h"

namespace {

using Record = winsim::Trace::Record;

constexpr const char *kTraceConfigKey = "SOFTWARE\\Wow6432Node\\Norvane\\Tesmar\\Config";

int GreeterMain() {
  Sleep(250);
  printf("%s\n", winsim::cp932("こんにちは").c_str());
  return 3;
}

class Trace : public ::testing::Test {
 protected:
  Trace() { world.registry().create_key(std::string("HKLM\\") + kTraceConfigKey); }
  // A record of `kind` with its time, process and thread, then the fields of `rest` (records
  // keep their fields in order).
  static Record Expected(std::uint64_t t, std::uint32_t pid, std::uint32_t tid, const char *kind,
                         const Record &rest) {
    Record r = {{"t", t}, {"pid", pid}, {"tid", tid}, {"kind", kind}};
    for (const auto &[name, value] : rest.items()) r[name] = value;
    return r;
  }
  winsim::World world;
};

TEST_F(Trace, RegistryWritesAreRecordedWithTheirDataAsTextAndDeletesWithTheirKey) {
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kTraceConfigKey, 0, KEY_ALL_ACCESS, &key),
            ERROR_SUCCESS);
  world.run_for(1000);
  DWORD status = 300;
  RegSetValueExA(key, "SystemStatus", 0, REG_DWORD, reinterpret_cast<const BYTE *>(&status),
                 sizeof status);
  std::string text = winsim::cp932("日本語");
  RegSetValueExA(key, "Text", 0, REG_SZ, reinterpret_cast<const BYTE *>(text.c_str()),
                 static_cast<DWORD>(text.size() + 1));
  const BYTE blob[] = {0x01, 0xAB};
  RegSetValueExA(key, "Blob", 0, REG_BINARY, blob, sizeof blob);
  RegDeleteValueA(key, "Blob");
  RegCloseKey(key);
  RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Norvane\\Gone", 0, nullptr, 0, KEY_ALL_ACCESS,
                  nullptr, &key, nullptr);
  RegCloseKey(key);
  ASSERT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, "software\\norvane\\gone"), ERROR_SUCCESS);

  DWORD tid = GetCurrentThreadId();
  std::string path = std::string("HKLM\\") + kTraceConfigKey;
  auto set = [&](const char *name, const char *type, Record data, int size) {
    return Expected(
        1000, world.host_pid(), tid, "reg.set",
        {{"key", path}, {"name", name}, {"type", type}, {"data", data}, {"size", size}});
  };
  // A string's size is as stored: UTF-16 with the terminator.
  EXPECT_EQ(world.trace().of_kind("reg.set"),
            (std::vector<Record>{set("SystemStatus", "REG_DWORD", 300, 4),
                                 set("Text", "REG_SZ", "日本語", 8),
                                 set("Blob", "REG_BINARY", "01ab", 2)}));
  // A key's delete names the key alone.
  EXPECT_EQ(world.trace().of_kind("reg.delete"),
            (std::vector<Record>{Expected(1000, world.host_pid(), tid, "reg.delete",
                                          {{"key", path}, {"name", "Blob"}}),
                                 Expected(1000, world.host_pid(), tid, "reg.delete",
                                          {{"key", "HKLM\\SOFTWARE\\Norvane\\Gone"}})}));
}

TEST_F(Trace, AProcessIsRecordedFromStartThroughItsOutputToItsExit) {
  world.add_program("greeter.exe", &GreeterMain);
  world.place_program("C:\\Tools\\greeter.exe", "greeter.exe");
  world.run_for(100);
  std::uint32_t pid = world.start("C:\\Tools\\greeter.exe /hello");
  ASSERT_TRUE(world.wait_exit(pid));
  EXPECT_EQ(world.console(pid), winsim::cp932("こんにちは") + "\n");

  std::vector<Record> starts = world.trace().of_kind("process.start");
  ASSERT_EQ(starts.size(), 1u);
  std::uint32_t tid = starts[0]["tid"].get<std::uint32_t>();
  EXPECT_EQ(starts[0], Expected(100, pid, tid, "process.start",
                                {{"image", "C:\\Tools\\greeter.exe"},
                                 {"cmdline", "C:\\Tools\\greeter.exe /hello"},
                                 {"parent", world.host_pid()}}));
  EXPECT_EQ(world.trace().of_kind("stdout"),
            std::vector<Record>{Expected(350, pid, tid, "stdout", {{"text", "こんにちは\n"}})});
  EXPECT_EQ(world.trace().of_kind("process.exit"),
            std::vector<Record>{Expected(350, pid, tid, "process.exit", {{"code", 3}})});
}

TEST_F(Trace, AnEventLogEntryIsKeptAsPassedAndRecordedInUtf8OnlyWhileTheServiceRuns) {
  world.eventlog().set_available(false);
  SetLastError(0xdeadbeef);
  EXPECT_EQ(RegisterEventSourceA(nullptr, "Quillet"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(RPC_S_SERVER_UNAVAILABLE));
  EXPECT_EQ(world.open_handles(world.host_pid()), std::vector<std::string>{});

  world.eventlog().set_available(true);
  HANDLE source = RegisterEventSourceA(nullptr, "Quillet");
  ASSERT_NE(source, nullptr);
  std::string text = winsim::cp932("ＣＰＵ温度が警告レベルです。");
  LPCSTR strings[] = {text.c_str()};
  world.run_for(2500);
  ASSERT_TRUE(
      ReportEventA(source, EVENTLOG_WARNING_TYPE, 0, 0x80002EE0, nullptr, 1, 0, strings, nullptr));
  EXPECT_TRUE(DeregisterEventSource(source));
  ASSERT_EQ(world.eventlog().entries().size(), 1u);
  const winsim::EventEntry &entry = world.eventlog().entries()[0];
  EXPECT_EQ(entry.t, 2500u);
  EXPECT_EQ(entry.pid, world.host_pid());
  EXPECT_EQ(entry.strings, std::vector<std::string>{text});
  Record event = Expected(2500, world.host_pid(), GetCurrentThreadId(), "event",
                          {{"source", "Quillet"},
                           {"type", EVENTLOG_WARNING_TYPE},
                           {"category", 0},
                           {"id", 0x80002EE0u},
                           {"strings", Record::array({"ＣＰＵ温度が警告レベルです。"})}});
  EXPECT_EQ(world.trace().of_kind("event"), std::vector<Record>{event});
}

}  // namespace
