// The trace's record kinds for registry writes and deletes, event-log entries, console output
// and process starts and ends: each with its exact fields, time, process and thread.
#include <gtest/gtest.h>

#include "platform/win32.h"
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
  Record Expected(std::uint64_t t, std::uint32_t pid, std::uint32_t tid, const char *kind) {
    Record r;
    r["t"] = t;
    r["pid"] = pid;
    r["tid"] = tid;
    r["kind"] = kind;
    return r;
  }
  winsim::World world;
};

TEST_F(Trace, RegistryWritesAreRecordedWithTheirDataAsText) {
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

  DWORD tid = GetCurrentThreadId();
  std::string path = std::string("HKLM\\") + kTraceConfigKey;
  Record dword = Expected(1000, world.host_pid(), tid, "reg.set");
  dword["key"] = path;
  dword["name"] = "SystemStatus";
  dword["type"] = "REG_DWORD";
  dword["data"] = 300;
  dword["size"] = 4;
  Record string = Expected(1000, world.host_pid(), tid, "reg.set");
  string["key"] = path;
  string["name"] = "Text";
  string["type"] = "REG_SZ";
  string["data"] = "日本語";
  string["size"] = 8;  // as stored: UTF-16 with the terminator
  Record binary = Expected(1000, world.host_pid(), tid, "reg.set");
  binary["key"] = path;
  binary["name"] = "Blob";
  binary["type"] = "REG_BINARY";
  binary["data"] = "01ab";
  binary["size"] = 2;
  EXPECT_EQ(world.trace().of_kind("reg.set"), (std::vector<Record>{dword, string, binary}));
  Record deleted = Expected(1000, world.host_pid(), tid, "reg.delete");
  deleted["key"] = path;
  deleted["name"] = "Blob";
  EXPECT_EQ(world.trace().of_kind("reg.delete"), std::vector<Record>{deleted});
}

TEST_F(Trace, AKeyDeleteIsRecordedWithTheKeyAlone) {
  HKEY key = nullptr;
  RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Norvane\\Gone", 0, nullptr, 0, KEY_ALL_ACCESS,
                  nullptr, &key, nullptr);
  RegCloseKey(key);
  ASSERT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, "software\\norvane\\gone"), ERROR_SUCCESS);
  Record deleted = Expected(0, world.host_pid(), GetCurrentThreadId(), "reg.delete");
  deleted["key"] = "HKLM\\SOFTWARE\\Norvane\\Gone";
  EXPECT_EQ(world.trace().of_kind("reg.delete"), std::vector<Record>{deleted});
}

TEST_F(Trace, AnEventLogEntryIsRecordedWithItsTextInUtf8) {
  HANDLE source = RegisterEventSourceA(nullptr, "Quillet");
  std::string text = winsim::cp932("ＣＰＵ温度が警告レベルです。");
  LPCSTR strings[] = {text.c_str()};
  ReportEventA(source, EVENTLOG_WARNING_TYPE, 0, 0x80002EE0, nullptr, 1, 0, strings, nullptr);
  DeregisterEventSource(source);
  Record event = Expected(0, world.host_pid(), GetCurrentThreadId(), "event");
  event["source"] = "Quillet";
  event["type"] = EVENTLOG_WARNING_TYPE;
  event["category"] = 0;
  event["id"] = 0x80002EE0u;
  event["strings"] = Record::array({"ＣＰＵ温度が警告レベルです。"});
  EXPECT_EQ(world.trace().of_kind("event"), std::vector<Record>{event});
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
  Record start = Expected(100, pid, tid, "process.start");
  start["image"] = "C:\\Tools\\greeter.exe";
  start["cmdline"] = "C:\\Tools\\greeter.exe /hello";
  start["parent"] = world.host_pid();
  EXPECT_EQ(starts[0], start);
  Record output = Expected(350, pid, tid, "stdout");
  output["text"] = "こんにちは\n";
  EXPECT_EQ(world.trace().of_kind("stdout"), std::vector<Record>{output});
  Record exit = Expected(350, pid, tid, "process.exit");
  exit["code"] = 3;
  EXPECT_EQ(world.trace().of_kind("process.exit"), std::vector<Record>{exit});
}

}  // namespace
