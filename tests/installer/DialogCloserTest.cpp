// The dialog closer that a stop starts: the first "#32770" dialog titled "Microsoft Windows"
// gets one WM_CLOSE about 500 ms after it is first seen; nothing else is touched.
#include "InstallerWorld.h"
#include "winsim/Desktop.h"

namespace installer_test {
namespace {

class DialogCloser : public InstallerWorld {
 protected:
  DialogCloser() {
    RegisterSuite();
    Suite().stop_pending_s = 5;
  }
  Records Messages() {
    return world.trace().select("window.message",
                                {"t", "pid", "class", "title", "msg", "wParam", "lParam"});
  }
  Records Closes() { return world.trace().select("window.close", {"t", "class", "title"}); }
  std::vector<std::string> OpenTitles() {
    std::vector<std::string> out;
    for (const auto &w : winsim::Desktop::of(world).windows())
      out.push_back(w.class_name + " " + w.title);
    return out;
  }
};

// The closer looks at 0, 500, ... ms; at 2 s the dialog shows just before it looks.
TEST_F(DialogCloser, ADialogShownTwoSecondsIntoTheStopIsClosedOnce) {
  Suite().stop_dialog_s = 2;
  StartSuiteFromHost();
  std::uint32_t pid = world.start("C:\\steps.exe stop Debug");
  world.run_for(4000);
  winsim::Desktop::of(world).open("#32770", "Microsoft Windows");  // a second one
  ASSERT_TRUE(world.wait_exit(pid, 60000));

  EXPECT_EQ(Messages(), (Records{{{"t", 2500},
                                  {"pid", pid},
                                  {"class", "#32770"},
                                  {"title", "Microsoft Windows"},
                                  {"msg", WM_CLOSE},
                                  {"wParam", 0},
                                  {"lParam", 0}}}));
  EXPECT_EQ(Closes(),
            (Records{{{"t", 2500}, {"class", "#32770"}, {"title", "Microsoft Windows"}}}));
  EXPECT_EQ(OpenTitles(), std::vector<std::string>{"#32770 Microsoft Windows"});
  EXPECT_EQ(world.exit_code(pid), 0u);
}

TEST_F(DialogCloser, DialogsOfAnotherClassOrTitleAreLeftAlone) {
  StartSuiteFromHost();
  winsim::Desktop &desktop = winsim::Desktop::of(world);
  desktop.open("#32771", "Microsoft Windows");
  desktop.open("#32770", "Microsoft Windows Update");
  std::uint32_t pid = RunStep("stop Debug");
  EXPECT_EQ(Messages(), Records{});
  EXPECT_EQ(OpenTitles(), (std::vector<std::string>{"#32771 Microsoft Windows",
                                                    "#32770 Microsoft Windows Update"}));
  // The closer was still looking when the installer ended.
  for (const auto &r : world.trace().of_kind("thread.exit")) EXPECT_NE(r["pid"], pid);
  EXPECT_EQ(world.exit_code(pid), 0u);
}

}  // namespace
}  // namespace installer_test
