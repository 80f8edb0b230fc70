// The simulated proxy library: real records at their offsets, lists and handles that live in
// the library's own pages, and a program that misuses them stopped at the misuse with a report
// naming it.
#include <cstring>
#include <string>

#include "BeaconWorld.h"

namespace shellbeacon_test {
namespace {

using KelpieStandInTest = BeaconWorld;

_SDK_Kelp_Init_Param g_param{16, 6, nullptr};

// Starts a session at 0 s and takes a list at 1 s.
_UTL_VOLUME_STATUS *TakeList(void *&hKelp) {
  hKelp = kelp_Init(&g_param);
  Sleep(1000);
  _UTL_VOLUME_STATUS *pList = nullptr;
  kelp_GetVolumeList(hKelp, pList);
  Sleep(1000);
  return pList;
}

// What the layout program saw, byte by byte.
struct Seen {
  std::int32_t drive[2];
  std::uint32_t field84[2], field88[2];
  std::ptrdiff_t second_at;  // the second record's distance from the first
  bool ends;                 // the second record's next pointer is null
} g_seen;

template <typename T>
T At(const _UTL_VOLUME_STATUS *record, std::size_t offset) {
  T value;
  std::memcpy(&value, reinterpret_cast<const unsigned char *>(record) + offset, sizeof value);
  return value;
}

int LayoutMain() {
  void *hKelp = nullptr;
  _UTL_VOLUME_STATUS *first = TakeList(hKelp);
  auto *second = At<_UTL_VOLUME_STATUS *>(first, 0xB0);
  for (int i = 0; i < 2; ++i) {
    const _UTL_VOLUME_STATUS *record = i == 0 ? first : second;
    g_seen.drive[i] = At<std::int32_t>(record, 0x80);
    g_seen.field84[i] = At<std::uint32_t>(record, 0x84);
    g_seen.field88[i] = At<std::uint32_t>(record, 0x88);
  }
  g_seen.second_at = reinterpret_cast<const unsigned char *>(second) -
                     reinterpret_cast<const unsigned char *>(first);
  g_seen.ends = At<_UTL_VOLUME_STATUS *>(second, 0xB0) == nullptr;
  kelp_FreeVolumeList(hKelp, first);
  kelp_Release(hKelp);
  return 0;
}

TEST_F(KelpieStandInTest, ListsAreChainsOf0xB8ByteRecordsWithTheFieldsAtTheirOffsets) {
  Mount(4, 1, 0);
  Mount(-3, 2, 0x80000000u);
  world.add_program("layout.exe", LayoutMain);
  world.place_program("C:\\layout.exe", "layout.exe");
  std::uint32_t pid = world.start("C:\\layout.exe");
  ASSERT_TRUE(world.wait_exit(pid));
  EXPECT_EQ(g_seen.drive[0], 4);
  EXPECT_EQ(g_seen.field84[0], 1u);
  EXPECT_EQ(g_seen.field88[0], 0u);
  EXPECT_EQ(g_seen.drive[1], -3);
  EXPECT_EQ(g_seen.field84[1], 2u);
  EXPECT_EQ(g_seen.field88[1], 0x80000000u);
  EXPECT_EQ(g_seen.second_at, 0xB8);
  EXPECT_TRUE(g_seen.ends);
  EXPECT_EQ(winsim::LibraryHeap::of(world).held(), 0u);
}

int ReadAfterFreeMain() {
  void *hKelp = nullptr;
  _UTL_VOLUME_STATUS *pList = TakeList(hKelp);
  kelp_FreeVolumeList(hKelp, pList);
  return pList->nDriveNo;
}

int WriteAfterFreeMain() {
  void *hKelp = nullptr;
  _UTL_VOLUME_STATUS *pList = TakeList(hKelp);
  kelp_FreeVolumeList(hKelp, pList);
  pList->pNext = nullptr;
  return 0;
}

int FreeTwiceMain() {
  void *hKelp = nullptr;
  _UTL_VOLUME_STATUS *pList = TakeList(hKelp);
  kelp_FreeVolumeList(hKelp, pList);
  Sleep(1000);
  kelp_FreeVolumeList(hKelp, pList);
  return 0;
}

int FreeARecordInsideMain() {
  void *hKelp = nullptr;
  _UTL_VOLUME_STATUS *pList = TakeList(hKelp);
  kelp_FreeVolumeList(hKelp, pList->pNext);
  return 0;
}

int ListAfterReleaseMain() {
  void *hKelp = nullptr;
  _UTL_VOLUME_STATUS *pList = TakeList(hKelp);
  kelp_FreeVolumeList(hKelp, pList);
  kelp_Release(hKelp);
  kelp_GetVolumeList(hKelp, pList);
  return 0;
}

struct MisuseCase {
  const char *name;
  winsim::ProgramEntry entry;
  const char *report;  // after "winsim: fault of the program: pid 12 (misuse.exe) tid 16 "
};

class MisuseTest : public BeaconWorld, public ::testing::WithParamInterface<MisuseCase> {};

TEST_P(MisuseTest, StopsTheRunAtTheMisuseWithAReportNamingTheProgram) {
  Mount(4);
  Mount(5);
  world.add_program("misuse.exe", GetParam().entry);
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
        MisuseCase{"ReadAfterFree", ReadAfterFreeMain,
                   "read byte 0x80 of the volume list kelp_GetVolumeList handed out at 1.000 s "
                   "after kelp_FreeVolumeList took it back at 2.000 s"},
        MisuseCase{"WriteAfterFree", WriteAfterFreeMain,
                   "wrote byte 0xB0 of the volume list kelp_GetVolumeList handed out at 1.000 s "
                   "after kelp_FreeVolumeList took it back at 2.000 s"},
        MisuseCase{"FreeTwice", FreeTwiceMain,
                   "passed the volume list kelp_GetVolumeList handed out at 1.000 s to "
                   "kelp_FreeVolumeList after kelp_FreeVolumeList took it back at 2.000 s"},
        MisuseCase{"FreeARecordInside", FreeARecordInsideMain,
                   "passed kelp_FreeVolumeList a pointer that is not the start of a block the "
                   "library handed out"},
        MisuseCase{"ListAfterRelease", ListAfterReleaseMain,
                   "passed the handle kelp_Init returned at 0.000 s to kelp_GetVolumeList after "
                   "kelp_Release took it back at 2.000 s"}),
    [](const ::testing::TestParamInfo<MisuseCase> &test) { return test.param.name; });

}  // namespace
}  // namespace shellbeacon_test
