// The disk step inside the running service: every cycle that finds the configuration key
// lists the disks and publishes the six values of each bay.
#include "ServiceWorld.h"

namespace quillet_test {
namespace {

class DiskSmartServiceTest : public ServiceWorld {
 protected:
  DiskSmartServiceTest() {
    InstallDirectly();
    InstallHealthyDisks();
  }

  // Times at which the service started the listing tool.
  std::vector<std::uint64_t> ToolStarts() {
    std::vector<std::uint64_t> out;
    for (const auto &r : world.trace().of_kind("process.start"))
      if (r["image"] == standin::kWmicImagePath) out.push_back(r["t"].get<std::uint64_t>());
    return out;
  }

  std::vector<std::uint64_t> WritesOf(const std::string &name) {
    std::vector<std::uint64_t> out;
    for (const auto &r : world.trace().of_kind("reg.set"))
      if (r["name"] == name) out.push_back(r["t"].get<std::uint64_t>());
    return out;
  }
};

TEST_F(DiskSmartServiceTest, EveryCycleListsTheDisksAndPublishesBothBays) {
  world.registry().create_key(kConfigKey);
  std::uint32_t pid = StartService();
  world.run_for(130000);
  EXPECT_EQ(ToolStarts(), (std::vector<std::uint64_t>{0, 60000, 120000}));
  for (const char *prefix : disk_test::kValuePrefixes)
    for (int bay = 0; bay < 2; ++bay)
      EXPECT_EQ(WritesOf(prefix + std::to_string(bay)),
                (std::vector<std::uint64_t>{0, 60000, 120000}))
          << prefix << bay;
  EXPECT_EQ(world.registry().dword(kConfigKey, "HDDTemp_1"), 41u);
  EXPECT_EQ(world.registry().dword(kConfigKey, "HDD05TH_0"), 36u);
  ASSERT_EQ(Control(SERVICE_CONTROL_STOP), 0u);
  ASSERT_TRUE(world.wait_exit(pid));
  EXPECT_EQ(world.open_handles(pid), std::vector<std::string>{});
}

TEST_F(DiskSmartServiceTest, WithoutTheConfigurationKeyNoDiskIsListed) {
  std::uint32_t pid = StartService();
  world.run_for(130000);
  EXPECT_EQ(ToolStarts(), std::vector<std::uint64_t>{});
  EXPECT_TRUE(world.trace().of_kind("reg.set").empty());
  ASSERT_EQ(Control(SERVICE_CONTROL_STOP), 0u);
  ASSERT_TRUE(world.wait_exit(pid));
}

TEST_F(DiskSmartServiceTest, AStopDuringALongListingIsActedOnWhenTheCycleHasFinished) {
  world.registry().create_key(kConfigKey);
  world.part<standin::WmicStandIn>().delay_ms = 25000;
  std::uint32_t pid = StartService();
  world.run_for(5000);
  ASSERT_EQ(Control(SERVICE_CONTROL_STOP), 0u);
  ASSERT_TRUE(world.wait_exit(pid));
  // The first cycle's listing ends at 25 s; the stop takes effect then.
  EXPECT_EQ(Statuses({"t", "state"}).back(), (winsim::Trace::Record{{"t", 25000}, {"state", 1}}));
  EXPECT_EQ(WritesOf("HDDTemp_0"), std::vector<std::uint64_t>{25000});
}

}  // namespace
}  // namespace quillet_test
