// A simulated machine with Quillet.exe in place, and the service operations tests perform on
// it from the host: install with "-install", start and stop through the service control
// manager, send the controls the system sends.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "../WorldSeed.h"
#include "TestServices.h"
#include "platform/win32.h"
#include "winsim/Services.h"
#include "winsim/World.h"

namespace quillet_test {

using Record = winsim::Trace::Record;
using Records = std::vector<Record>;

constexpr const char *kQuilletPath = "C:\\Program Files\\Norvane\\Quillet.exe";
constexpr const char *kTestServicePath = "C:\\Test\\TestService.exe";
constexpr const char *kServiceName = "Orvexd";
constexpr const char *kConfigKey = "HKLM\\SOFTWARE\\Wow6432Node\\Norvane\\Tesmar\\Config";
constexpr const char *kRaidKey =
    "HKLM\\SOFTWARE\\Wow6432Node\\Norvane\\Applications\\NorvaneNas\\RDSCANSV";
constexpr const char *kBackupKey =
    "HKLM\\SOFTWARE\\Wow6432Node\\Norvane\\Applications\\NorvaneNas\\BKSCANSV";
constexpr const char *kFreeSpaceKey =
    "HKLM\\SOFTWARE\\Wow6432Node\\Norvane\\Applications\\NorvaneNas\\VOLSPACE";
constexpr const char *kTempCheckKey =
    "HKLM\\SOFTWARE\\Wow6432Node\\Norvane\\Applications\\NorvaneNas\\THERMSCN";

// Names each row of a parameterized test after the row's `name`.
inline constexpr auto kNameOfRow = [](const auto &row) { return std::string(row.param.name); };

class ServiceWorld : public ::testing::Test {
 protected:
  ServiceWorld() {
    world_seed::SeedWorld(world);
    world.add_program("Quillet.exe", winsim::ProgramImage{NORVANE_PROGRAMS_DIR "/Quillet.so"});
    world.place_program(kQuilletPath, "Quillet.exe");
    Calls() = CallLog{};
  }

  // Installs "Orvexd" with a test variant of the service class as its program.
  template <typename Service>
  void InstallTestService() {
    world.add_program("TestService.exe", RunServiceProgram<Service>);
    world.place_program(kTestServicePath, "TestService.exe");
    InstallDirectly(kTestServicePath);
  }

  // Starts the installed service through StartService and returns the id of its process.
  std::uint32_t StartService() {
    EXPECT_EQ(OnService([](SC_HANDLE service) { return StartServiceA(service, 0, nullptr); }), 0u);
    return world.services().info(kServiceName)->pid;
  }

  // Runs "Quillet.exe <arguments>" to its end; returns its process id.
  std::uint32_t RunQuillet(const std::string &arguments) {
    std::uint32_t pid = world.start(std::string("\"") + kQuilletPath + "\" " + arguments);
    EXPECT_TRUE(world.wait_exit(pid));
    return pid;
  }

  // Installs the service in the database as "-install" would (without running it).
  void InstallDirectly(const std::string &program = kQuilletPath) {
    world.services().install(kServiceName, "Norvane NAS LED Control", "\"" + program + "\"");
  }

  // ControlService from the host; returns 0 or the error.
  DWORD Control(DWORD control) {
    SERVICE_STATUS status{};
    return OnService([&](SC_HANDLE service) { return ControlService(service, control, &status); });
  }
  template <typename Call>
  DWORD OnService(Call call) {
    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
    SC_HANDLE service = OpenServiceA(manager, kServiceName, SERVICE_ALL_ACCESS);
    DWORD error = service != nullptr && call(service) ? 0 : GetLastError();
    if (service != nullptr) CloseServiceHandle(service);
    CloseServiceHandle(manager);
    return error;
  }

  // Every entry a program wrote has category 0, one string, and the type its id's severity
  // bits give: 0x4... information, 0x8... warning, 0xC... error; id 0 (the fatal report) is an
  // error.
  void TearDown() override {
    for (const auto &r : world.trace().of_kind("event")) {
      std::uint32_t id = r["id"];
      static constexpr int kTypeOfSeverity[] = {EVENTLOG_ERROR_TYPE, EVENTLOG_INFORMATION_TYPE,
                                                EVENTLOG_WARNING_TYPE, EVENTLOG_ERROR_TYPE};
      EXPECT_EQ(r["type"], kTypeOfSeverity[id >> 30]) << r.dump();
      EXPECT_EQ(r["category"], 0) << r.dump();
      EXPECT_EQ(r["strings"].size(), 1u) << r.dump();
      EXPECT_TRUE(id >> 30 != 0 || id == 0) << r.dump();
    }
  }

  // svc.status records reduced to the given fields.
  Records Statuses(const std::vector<std::string> &fields) {
    return world.trace().select("svc.status", fields);
  }

  winsim::World world;
};

}  // namespace quillet_test
