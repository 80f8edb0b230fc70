// The alarm's sound calls: Beep, PlaySoundA of a wave file that cannot play, and the default
// audio output found through COM. Only results are compared after Beep and PlaySoundA: Wine's
// leave errors of their own output paths as the last error.
#include <cstring>

#include "Scratch.h"

namespace {

using conformance::WString;

class Sound : public conformance::Fixture {};

TEST_F(Sound, ABeepIsTakenAtAnyFrequencyAndAWaveThatCannotPlayPlaysNothing) {
  for (DWORD frequency : {37u, 750u, 32767u, 36u, 32768u})
    EXPECT_TRUE(Beep(frequency, 1)) << frequency;
  conformance::Scratch scratch(TEXT("sound"));
  const std::string root = conformance::Narrow(scratch.root());
  const std::string no_wave =
      conformance::Narrow(scratch.child_image(scratch.root() + TEXT("\\alarm.wav")));
  for (const std::string &path : {root + "\\none.wav", root + "\\none\\none.wav", no_wave})
    EXPECT_FALSE(PlaySoundA(path.c_str(), nullptr, SND_FILENAME | SND_NODEFAULT)) << path;
  // No sound stops the one that plays, if any.
  EXPECT_TRUE(PlaySoundA(nullptr, nullptr, SND_NODEFAULT));
}

constexpr CLSID kDeviceEnumerator = {
    0xBCDE0395, 0xE52F, 0x467C, {0x8E, 0x3D, 0xC4, 0x57, 0x92, 0x91, 0x69, 0x2E}};
constexpr IID kIDeviceEnumerator = {
    0xA95664D2, 0x9614, 0x4F35, {0xA7, 0x46, 0xDE, 0x8D, 0xB6, 0x36, 0x17, 0xE6}};
constexpr IID kIUnknown = {0, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

HRESULT CreateEnumerator(const CLSID &clsid, DWORD context, const IID &iid, void **object) {
  return CoCreateInstance(clsid, nullptr, context, iid, object);
}

TEST_F(Sound, TheDefaultOutputIsFoundThroughTheEnumeratorOnceComIsInitialised) {
  void *object = &object;
  EXPECT_EQ(CreateEnumerator(kDeviceEnumerator, CLSCTX_ALL, kIDeviceEnumerator, &object),
            CO_E_NOTINITIALIZED);
  EXPECT_EQ(object, nullptr);
  ASSERT_EQ(CoInitialize(nullptr), S_OK);
  EXPECT_EQ(CoInitialize(nullptr), S_FALSE);
  EXPECT_EQ(CreateEnumerator(kDeviceEnumerator, CLSCTX_ALL, kIDeviceEnumerator, nullptr),
            E_POINTER);
  EXPECT_EQ(CreateEnumerator(kDeviceEnumerator, CLSCTX_LOCAL_SERVER, kIDeviceEnumerator, &object),
            REGDB_E_CLASSNOTREG);
  EXPECT_EQ(CreateEnumerator(kIUnknown, CLSCTX_ALL, kIDeviceEnumerator, &object),
            REGDB_E_CLASSNOTREG);
  EXPECT_EQ(CreateEnumerator(kDeviceEnumerator, CLSCTX_ALL, kDeviceEnumerator, &object),
            E_NOINTERFACE);
  EXPECT_EQ(object, nullptr);

  IMMDeviceEnumerator *enumerator = nullptr;
  ASSERT_EQ(CreateEnumerator(kDeviceEnumerator, CLSCTX_ALL, kIDeviceEnumerator,
                             reinterpret_cast<void **>(&enumerator)),
            S_OK);
  IMMDevice *endpoint = nullptr;
  EXPECT_EQ(enumerator->GetDefaultAudioEndpoint(eRender, eConsole, nullptr), E_POINTER);
  const std::pair<EDataFlow, ERole> wrong[] = {
      {eAll, eConsole}, {EDataFlow_enum_count, eConsole}, {eRender, ERole_enum_count}};
  for (const auto &[flow, role] : wrong) {
    endpoint = reinterpret_cast<IMMDevice *>(&endpoint);
    EXPECT_EQ(enumerator->GetDefaultAudioEndpoint(flow, role, &endpoint), E_INVALIDARG);
    // A failed call leaves a null pointer, as documented; Wine leaves the pointer alone.
    if (!conformance::UnderWine()) {
      EXPECT_EQ(endpoint, nullptr);
    }
  }
  // The test machines have no audio output: there is no default one.
  EXPECT_EQ(enumerator->GetDefaultAudioEndpoint(eRender, eConsole, &endpoint), E_NOTFOUND);
  EXPECT_EQ(endpoint, nullptr);
  enumerator->Release();

  PROPVARIANT name;
  std::memset(&name, 0x5A, sizeof name);
  PropVariantInit(&name);
  EXPECT_EQ(name.vt, VT_EMPTY);
  EXPECT_EQ(PropVariantClear(&name), S_OK);
  CoUninitialize();
  CoUninitialize();
  EXPECT_EQ(CreateEnumerator(kDeviceEnumerator, CLSCTX_ALL, kIDeviceEnumerator, &object),
            CO_E_NOTINITIALIZED);
}

}  // namespace
