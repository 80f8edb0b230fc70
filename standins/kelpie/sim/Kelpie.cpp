// The proxy library's functions in the simulated build: emulated calls (switch points that the
// fault plan can fail, a planned error becoming the result) answered by the world's encryption
// suite. Handles and lists are blocks of the world's LibraryHeap.
#include "notifier/Kelpie.h"

#include "standins/EncryptionSuite.h"
#include "winsim/LibraryHeap.h"
#include "winsim/StandIn.h"
#include "winsim/World.h"

namespace {

// Any failure the fault plan does not name, and a planned failure of the list: -1.
constexpr std::uint32_t kDefaultFault = 0xFFFFFFFF;
constexpr int kListFailed = -1;

standins::EncryptionSuite &suite() {
  return standins::EncryptionSuite::of(winsim::World::get());
}

winsim::LibraryHeap &heap() {
  return winsim::LibraryHeap::of(winsim::World::get());
}

}  // namespace

void *kelp_Init(_SDK_Kelp_Init_Param *pParam) {
  if (winsim::enter_call("kelp_Init", {}, kDefaultFault)) return nullptr;
  return suite().open_session(*pParam);
}

int kelp_GetVolumeList(void *hKelp, _UTL_VOLUME_STATUS *&pList) {
  if (auto fault = winsim::enter_call("kelp_GetVolumeList", {}, kDefaultFault))
    return static_cast<int>(*fault);
  heap().check_held(hKelp, "kelp_GetVolumeList");
  if (suite().list_fails()) return kListFailed;
  pList = suite().hand_out_list();
  return 0;
}

int kelp_FreeVolumeList(void *hKelp, _UTL_VOLUME_STATUS *pList) {
  if (auto fault = winsim::enter_call("kelp_FreeVolumeList", {}, kDefaultFault))
    return static_cast<int>(*fault);
  heap().check_held(hKelp, "kelp_FreeVolumeList");
  suite().count_given_back();
  if (pList != nullptr) heap().release(pList, "kelp_FreeVolumeList");
  return 0;
}

int kelp_Release(void *hKelp) {
  if (auto fault = winsim::enter_call("kelp_Release", {}, kDefaultFault))
    return static_cast<int>(*fault);
  suite().count_release();
  heap().release(hKelp, "kelp_Release");
  return 0;
}
