// The simulated proxy library keeps its lists and handles in pages of its own: a program that
// misuses them is stopped at the misuse, with a report naming it.
#include <string>

#include "BeaconWorld.h"

namespace shellbeacon_test {
namespace {

enum class Misuse { ReadAfterFree, WriteAfterFree, FreeTwice, FreeARecordInside, ListAfterRelease };
Misuse g_misuse;

// Starts a session at 0 s, takes a list of two records at 1 s, frees it at 2 s (but for
// FreeARecordInside), then does the misuse.
int MisuseMain() {
  _SDK_Kelp_Init_Param param{16, 6, nullptr};
  void *hKelp = kelp_Init(&param);
  Sleep(1000);
  _UTL_VOLUME_STATUS *pList = nullptr;
  kelp_GetVolumeList(hKelp, pList);
  Sleep(1000);
  if (g_misuse == Misuse::FreeARecordInside) return kelp_FreeVolumeList(hKelp, pList->pNext);
  kelp_FreeVolumeList(hKelp, pList);
  switch (g_misuse) {
    case Misuse::ReadAfterFree:
      return pList->nDriveNo;
    case Misuse::WriteAfterFree:
      pList->pNext = nullptr;
      return 0;
    case Misuse::FreeTwice:
      Sleep(1000);
      return kelp_FreeVolumeList(hKelp, pList);
    default:
      kelp_Release(hKelp);
      return kelp_GetVolumeList(hKelp, pList);
  }
}

struct MisuseCase {
  const char *name;
  Misuse misuse;
  const char *report;  // after "winsim: fault of the program: pid 12 (misuse.exe) tid 16 "
};

class MisuseTest : public BeaconWorld, public ::testing::WithParamInterface<MisuseCase> {};

TEST_P(MisuseTest, StopsTheRunAtTheMisuseWithAReportNamingTheProgram) {
  Mount(4);
  Mount(5);
  g_misuse = GetParam().misuse;
  world.add_program("misuse.exe", MisuseMain);
  world.place_program("C:\\misuse.exe", "misuse.exe");
  std::uint32_t pid = world.start("C:\\misuse.exe");
  try {
    world.wait_exit(pid);
    FAIL() << "the program ran to its end";
  } catch (const winsim::RunStopped &stop) {
    EXPECT_EQ(stop.reason(), winsim::RunStopped::Reason::ProgramFault);
    EXPECT_EQ(stop.what(), "winsim: fault of the program: pid 12 (misuse.exe) tid 16 " +
                               std::string(GetParam().report) + "\n");
  }
  EXPECT_TRUE(world.running(pid));  // stopped where it stood, never ended
}

INSTANTIATE_TEST_SUITE_P(
    Programs, MisuseTest,
    ::testing::Values(
        MisuseCase{"ReadAfterFree", Misuse::ReadAfterFree,
                   "read byte 0x80 of the volume list kelp_GetVolumeList handed out at 1.000 s "
                   "after kelp_FreeVolumeList took it back at 2.000 s"},
        MisuseCase{"WriteAfterFree", Misuse::WriteAfterFree,
                   "wrote byte 0xB0 of the volume list kelp_GetVolumeList handed out at 1.000 s "
                   "after kelp_FreeVolumeList took it back at 2.000 s"},
        MisuseCase{"FreeTwice", Misuse::FreeTwice,
                   "passed the volume list kelp_GetVolumeList handed out at 1.000 s to "
                   "kelp_FreeVolumeList after kelp_FreeVolumeList took it back at 2.000 s"},
        MisuseCase{"FreeARecordInside", Misuse::FreeARecordInside,
                   "passed kelp_FreeVolumeList a pointer that is not the start of a block the "
                   "library handed out"},
        MisuseCase{"ListAfterRelease", Misuse::ListAfterRelease,
                   "passed the handle kelp_Init returned at 0.000 s to kelp_GetVolumeList after "
                   "kelp_Release took it back at 2.000 s"}),
    [](const auto &param_info) { return param_info.param.name; });

}  // namespace
}  // namespace shellbeacon_test
