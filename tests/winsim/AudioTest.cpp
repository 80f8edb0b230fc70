// Sound output and the audio endpoint: PlaySoundA, Beep and the beep device last their length in
// virtual time and are traced as `sound`; the COM audio endpoint enumerator reports the world's
// default render endpoint and its friendly name. (COM's initialisation and the enumerator's
// creation are held to Windows under the FilesAndDevices conformance tests.)
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>

#include "Runs.h"
#include "platform/win32.h"
#include "winsim/Audio.h"
#include "winsim/FileSystem.h"
#include "winsim/World.h"

namespace {

using Record = winsim::Trace::Record;

constexpr DWORD kMarker = 0xDEADBEEF;
const char kWave[] = "C:\\Windows\\Media\\alarm.wav";
const char kBeepDev[] = "\\\\.\\BeepDev";

const PROPERTYKEY kFriendlyNameKey = {
    {0xA45C254E, 0xDF1C, 0x4EFD, {0x80, 0x20, 0x67, 0xD1, 0x46, 0xA8, 0x50, 0xE0}}, 14};

std::vector<Record> sounds(winsim::World &world) {
  return world.trace().select("sound", {"t", "via", "file", "freq", "duration"});
}

Record tone(std::uint64_t t, const char *via, DWORD freq, DWORD duration) {
  return Record{{"t", t}, {"via", via}, {"freq", freq}, {"duration", duration}};
}

// A wave file plays for its length, leaving the last error alone, and holds only the thread
// that plays it; nothing plays without an output or under a planned fault. (Nor without a
// playable file: the conformance tests play a missing file and one that is no wave.)
TEST(PlaySound, AWaveFilePlaysForItsLengthOnItsOwnThreadAndNothingPlaysWithoutOne) {
  winsim::World world;
  winsim::Audio::of(world).set_endpoint("Speakers (USB Audio)");
  world.files().add_file(kWave).play_ms = 1500;
  world.faults().add({"PlaySoundA", "alarm.wav"});
  EXPECT_EQ(PlaySoundA(kWave, nullptr, SND_FILENAME | SND_NODEFAULT), FALSE);
  winsim::Audio::of(world).set_no_endpoint();
  EXPECT_EQ(PlaySoundA(kWave, nullptr, SND_FILENAME | SND_NODEFAULT), FALSE);
  EXPECT_TRUE(sounds(world).empty());

  winsim::Audio::of(world).set_endpoint("Speakers (USB Audio)");
  world.run_for(250);
  HANDLE thread = CreateThread(
      nullptr, 0,
      [](LPVOID) -> DWORD {
        SetLastError(kMarker);
        BOOL played = PlaySoundA(kWave, nullptr, SND_FILENAME | SND_NODEFAULT);
        return played == TRUE && GetLastError() == kMarker ? 1 : 0;
      },
      nullptr, 0, nullptr);
  EXPECT_EQ(WaitForSingleObject(thread, 400), static_cast<DWORD>(WAIT_TIMEOUT));
  EXPECT_EQ(world.now(), 650u);
  EXPECT_EQ(WaitForSingleObject(thread, INFINITE), static_cast<DWORD>(WAIT_OBJECT_0));
  EXPECT_EQ(world.now(), 1750u);
  DWORD code = 0;
  GetExitCodeThread(thread, &code);
  EXPECT_EQ(code, 1u);
  CloseHandle(thread);
  EXPECT_EQ(
      sounds(world),
      (std::vector<Record>{{{"t", 250}, {"via", "wave"}, {"file", kWave}, {"duration", 1500}}}));
}

// A frequency outside 37 to 32767 Hz is taken and plays nothing, at once.
TEST(Beep, ATonePlaysForItsDurationWithinTheAudibleRange) {
  winsim::World world;
  SetLastError(kMarker);
  for (DWORD frequency : {36u, 32768u}) EXPECT_EQ(Beep(frequency, 100), TRUE);
  EXPECT_EQ(world.now(), 0u);
  EXPECT_EQ(Beep(37, 200), TRUE);
  EXPECT_EQ(Beep(32767, 500), TRUE);
  EXPECT_EQ(GetLastError(), kMarker);
  EXPECT_EQ(world.now(), 700u);
  EXPECT_EQ(sounds(world),
            (std::vector<Record>{tone(0, "beep", 37, 200), tone(200, "beep", 32767, 500)}));
}

HANDLE open_beep_device() {
  return CreateFileA(kBeepDev, GENERIC_WRITE, FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
}

// Writes `bytes` of a tone (duration, then frequency) and returns the last error after it (the
// marker: left alone) with the count written.
std::pair<DWORD, DWORD> write_tone(HANDLE device, DWORD duration, DWORD frequency,
                                   DWORD bytes = 8) {
  std::uint8_t tone[8];
  std::memcpy(tone, &duration, 4);
  std::memcpy(tone + 4, &frequency, 4);
  DWORD written = 99;
  SetLastError(kMarker);
  WriteFile(device, tone, bytes, &written, nullptr);
  return {GetLastError(), written};
}

// An eight-byte tone is its duration then its frequency and lasts its duration; a write of
// another size, or to a refusing device, fails without a sound, and an absent one does not open.
TEST(BeepDevice, AnEightByteTonePlaysAndEveryOtherWriteOrDeviceFails) {
  winsim::World world;
  world.run_for(100);
  HANDLE device = open_beep_device();
  ASSERT_NE(device, INVALID_HANDLE_VALUE);
  EXPECT_EQ(write_tone(device, 200, 1975), std::make_pair(kMarker, DWORD{8}));
  EXPECT_EQ(world.now(), 300u);
  EXPECT_EQ(write_tone(device, 200, 1975, 4),
            std::make_pair(DWORD{ERROR_INVALID_PARAMETER}, DWORD{0}));
  EXPECT_EQ(CloseHandle(device), TRUE);
  winsim::Audio::of(world).set_beep_device(winsim::Audio::BeepDevice::Refuse);
  device = open_beep_device();
  ASSERT_NE(device, INVALID_HANDLE_VALUE);
  EXPECT_EQ(write_tone(device, 200, 1975), std::make_pair(DWORD{ERROR_GEN_FAILURE}, DWORD{0}));
  CloseHandle(device);
  EXPECT_EQ(world.now(), 300u);
  EXPECT_EQ(sounds(world), (std::vector<Record>{tone(100, "beepdev", 1975, 200)}));
  EXPECT_TRUE(world.open_handles(world.host_pid()).empty());
  winsim::Audio::of(world).set_beep_device(winsim::Audio::BeepDevice::Absent);
  SetLastError(kMarker);
  EXPECT_EQ(open_beep_device(), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

class AudioEndpoint : public ::testing::Test {
 protected:
  AudioEndpoint() { EXPECT_EQ(CoInitialize(nullptr), S_OK); }
  ~AudioEndpoint() override {
    CoUninitialize();
    EXPECT_EQ(winsim::Audio::of(world).com_initialized_threads(), 0);
  }

  // The friendly name property of the default render endpoint.
  PROPVARIANT friendly_name() {
    PROPVARIANT value;
    PropVariantInit(&value);
    IMMDeviceEnumerator *e = CreateEnumerator();
    IMMDevice *device = nullptr;
    IPropertyStore *store = nullptr;
    EXPECT_EQ(e->GetDefaultAudioEndpoint(eRender, eConsole, &device), S_OK);
    EXPECT_EQ(device->OpenPropertyStore(STGM_READ, &store), S_OK);
    EXPECT_EQ(store->GetValue(kFriendlyNameKey, &value), S_OK);
    EXPECT_EQ(store->Release(), 0u);
    EXPECT_EQ(device->Release(), 0u);
    EXPECT_EQ(e->Release(), 0u);
    return value;
  }

  winsim::World world;
};

// Under a planned fault the default is not found (nor without an endpoint, which the
// conformance tests ask for); there is no capture endpoint. A named endpoint gives its friendly
// name as a wide string; one without a text name an empty value or a number.
TEST_F(AudioEndpoint, TheDefaultIsNotFoundWithoutOneOrUnderAFaultAndItsNameIsAWideStringOrNot) {
  IMMDeviceEnumerator *e = CreateEnumerator();
  IMMDevice *device = reinterpret_cast<IMMDevice *>(1);
  winsim::Audio::of(world).set_endpoint("Speakers");
  EXPECT_EQ(e->GetDefaultAudioEndpoint(eCapture, eConsole, &device), E_NOTFOUND);
  EXPECT_EQ(device, nullptr);
  world.faults().add({"IMMDeviceEnumerator::GetDefaultAudioEndpoint", "", 1, false, 5});
  EXPECT_EQ(e->GetDefaultAudioEndpoint(eRender, eConsole, &device),
            static_cast<HRESULT>(0x80070005));
  EXPECT_EQ(device, nullptr);
  EXPECT_EQ(e->GetDefaultAudioEndpoint(eRender, eConsole, &device), S_OK);
  device->Release();
  e->Release();

  winsim::Audio::of(world).set_endpoint("High Definition Audio Device");
  PROPVARIANT value = friendly_name();
  ASSERT_EQ(value.vt, VT_LPWSTR);
  EXPECT_EQ(std::u16string(value.pwszVal), u"High Definition Audio Device");
  EXPECT_EQ(PropVariantClear(&value), S_OK);
  EXPECT_EQ(value.vt, VT_EMPTY);
  winsim::Audio::of(world).set_unnamed_endpoint();
  value = friendly_name();
  EXPECT_EQ(value.vt, VT_EMPTY);
  EXPECT_EQ(value.pwszVal, nullptr);
  EXPECT_EQ(PropVariantClear(&value), S_OK);
  winsim::Audio::of(world).set_nonstring_endpoint();
  value = friendly_name();
  EXPECT_EQ(value.vt, VT_UI4);
  EXPECT_EQ(value.ulVal, 1u);
  EXPECT_EQ(PropVariantClear(&value), S_OK);
}

}  // namespace
