// The audible alarms: a wave file through a suitable default output, otherwise the tone pattern
// on the beep device with Beep for each tone the device does not take; one alarm at a time.
#include "monitor/NASBeep.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "winsim/Audio.h"
#include "winsim/FileSystem.h"
#include "winsim/Registry.h"
#include "winsim/World.h"

namespace {

using Record = winsim::Trace::Record;
using Records = std::vector<Record>;

const char kNorvaneRaidWave[] = "C:\\Windows\\SysWOW64\\NorvaneNas\\raiderr.wav";
const char kNorvaneSystemWave[] = "C:\\Windows\\SysWOW64\\NorvaneNas\\syserr.wav";
const char kDrovikRaidWave[] = "C:\\Windows\\SysWOW64\\Drovik\\raiderr.wav";
const char kSoundKey[] = "HKLM\\SOFTWARE\\Tavrel\\NAS";

Record tone(std::uint64_t t, const char *via, unsigned freq, unsigned duration) {
  return Record{{"t", t}, {"via", via}, {"freq", freq}, {"duration", duration}};
}

Record wave(std::uint64_t t, const char *file, std::uint64_t length) {
  return Record{{"t", t}, {"via", "wave"}, {"file", file}, {"duration", length}};
}

// Three passes of: pause 100, 1975 Hz for 200, pause 100, 1567 Hz for 500.
Records raid_tones(const char *via, std::uint64_t start = 0) {
  Records out;
  for (std::uint64_t pass = 0; pass < 3; ++pass) {
    std::uint64_t base = start + pass * 900;
    out.push_back(tone(base + 100, via, 1975, 200));
    out.push_back(tone(base + 400, via, 1567, 500));
  }
  return out;
}

Records joined(Records first, const Records &then) {
  first.insert(first.end(), then.begin(), then.end());
  return first;
}

class NASBeepTest : public ::testing::Test {
 protected:
  NASBeepTest() { NASBeep::InitializeAlarmLock(); }
  ~NASBeepTest() override {
    // Every alarm leaves no handle or COM initialisation behind (the world's end check counts
    // its COM objects and memory).
    EXPECT_TRUE(world.open_handles(world.host_pid()).empty());
    EXPECT_EQ(audio().com_initialized_threads(), 0);
  }

  winsim::Audio &audio() { return winsim::Audio::of(world); }
  Records sounds() {
    return world.trace().select("sound", {"t", "via", "file", "freq", "duration"});
  }
  void add_wave(const char *path, std::uint64_t ms) { world.files().add_file(path).play_ms = ms; }

  winsim::World world;
  NASBeep beep;
};

// ---- Tone patterns ----------------------------------------------------------------------------

// The system alarm's pattern, and the RAID alarm's on the beep device, are under
// AnAlarmAskedForDuringAnotherStartsWhenItEnds.

// Only a name that contains "High Definition Audio", written so, marks the on-board output;
// the test runs in the thread's code page.
TEST_F(NASBeepTest, TheOnBoardOutputIsKnownByItsNameAndGetsNoWaveFile) {
  add_wave(kNorvaneRaidWave, 4000);
  for (auto [name, suitable] : {std::pair{"High Definition Audio Device", false},
                                {"スピーカー (High Definition Audio デバイス)", false},
                                {"Speakers (high definition audio)", true},
                                {"スピーカー (USB オーディオ)", true}}) {
    audio().set_endpoint(name);
    EXPECT_EQ(beep.PlayWave(kNorvaneRaidWave), suitable) << name;
  }
}

// ---- The wave file -----------------------------------------------------------------------------

TEST_F(NASBeepTest, AnOutputWithoutATextNameCountsAsSuitable) {
  add_wave(kNorvaneRaidWave, 1500);
  audio().set_unnamed_endpoint();
  beep.PlayRaidAlarm();
  // A name property holding a number is no name either; nothing is read from it as text.
  audio().set_nonstring_endpoint();
  beep.PlayRaidAlarm();
  EXPECT_EQ(sounds(),
            (Records{wave(0, kNorvaneRaidWave, 1500), wave(1500, kNorvaneRaidWave, 1500)}));
}

// (A missing one: TheDrovikFolderIsUsedWhileTheTavrelKeyOpensWithFullAccess.)
TEST_F(NASBeepTest, AWaveFileThatCannotBePlayedGivesTheTones) {
  audio().set_endpoint("Speakers (USB Audio Device)");
  world.files().add_file(kNorvaneRaidWave);  // present, but nothing to play
  EXPECT_FALSE(beep.PlayWave(kNorvaneRaidWave));
  beep.PlayRaidAlarm();
  EXPECT_EQ(sounds(), raid_tones("beepdev"));
}

// An output whose name cannot be converted might be the on-board one, on which the alarm could
// go unheard, so the tones sound. COM that the caller entered on the thread stays entered when
// the alarm could not enter it itself.
TEST_F(NASBeepTest, AFailedEndpointQueryOrNameConversionGivesTheTonesAndTheCallersComStays) {
  audio().set_endpoint("Speakers (USB Audio Device)");
  add_wave(kNorvaneRaidWave, 1500);
  const winsim::Fault faults[] = {{"CoCreateInstance"},
                                  {"IMMDeviceEnumerator::GetDefaultAudioEndpoint"},
                                  {"IMMDevice::OpenPropertyStore"},
                                  {"IPropertyStore::GetValue"},
                                  {"WideCharToMultiByte", "", 1},
                                  {"WideCharToMultiByte", "", 2}};
  for (const winsim::Fault &fault : faults) {
    world.faults().clear();
    world.faults().add(fault);
    EXPECT_FALSE(beep.PlayWave(kNorvaneRaidWave)) << fault.call << " #" << fault.nth;
  }
  world.faults().clear();
  ASSERT_EQ(CoInitialize(nullptr), S_OK);
  world.faults().add({"CoInitialize"});
  EXPECT_TRUE(beep.PlayWave(kNorvaneRaidWave));
  EXPECT_EQ(audio().com_initialized_threads(), 1);
  CoUninitialize();
}

// ---- The sound folder --------------------------------------------------------------------------

// A suitable output plays the wave file once for its length, and no tones (the system alarm's
// wave under AnAlarmAskedForDuringAnotherStartsWhenItEnds).
TEST_F(NASBeepTest, TheDrovikFolderIsUsedWhileTheTavrelKeyOpensWithFullAccess) {
  audio().set_endpoint("Speakers (USB Audio Device)");
  add_wave(kNorvaneRaidWave, 1000);
  world.registry().create_key(kSoundKey);
  beep.PlayRaidAlarm();  // no Drovik file: tones, not the NorvaneNas file
  add_wave(kDrovikRaidWave, 2000);
  beep.PlayRaidAlarm();
  world.registry().deny_full_access(kSoundKey);
  beep.PlayRaidAlarm();
  world.registry().delete_tree(kSoundKey);
  beep.PlayRaidAlarm();
  EXPECT_EQ(sounds(), joined(raid_tones("beepdev"),
                             {wave(2700, kDrovikRaidWave, 2000), wave(4700, kNorvaneRaidWave, 1000),
                              wave(5700, kNorvaneRaidWave, 1000)}));
}

// ---- The beep device and Beep -------------------------------------------------------------------

// A tone the device does not take (its open or write failing, as for an absent or refusing
// device) goes to Beep; a Beep that fails as well loses that tone alone, and the pattern goes on
// with its pauses.
TEST_F(NASBeepTest, TheDeviceIsOpenedAnewForEveryToneSoOneFailureLosesOnlyThatTone) {
  world.faults().add({"CreateFileA", "BeepDev", 2});
  world.faults().add({"WriteFile", "", 4});
  world.faults().add({"CreateFileA", "BeepDev", 6});
  world.faults().add({"Beep", "", 3});
  beep.PlayRaidAlarm();
  Records expected = raid_tones("beepdev");
  expected[1]["via"] = "beep";  // the second open fails
  expected[4]["via"] = "beep";  // the fourth write fails
  expected.pop_back();          // the sixth open fails, and its Beep too
  EXPECT_EQ(sounds(), expected);
  EXPECT_EQ(world.now(), 2200u);
}

// ---- One alarm at a time ----------------------------------------------------------------------

template <void (NASBeep::*play)()>
DWORD WINAPI AlarmThread(LPVOID) {
  NASBeep beep;
  (beep.*play)();
  return 0;
}
constexpr auto PlaySystemAlarmThread = AlarmThread<&NASBeep::PlaySystemAlarm>;

TEST_F(NASBeepTest, AnAlarmAskedForDuringAnotherStartsWhenItEnds) {
  HANDLE system = CreateThread(nullptr, 0, PlaySystemAlarmThread, nullptr, 0, nullptr);
  world.run_for(1000);
  HANDLE raid = CreateThread(nullptr, 0, AlarmThread<&NASBeep::PlayRaidAlarm>, nullptr, 0, nullptr);
  EXPECT_EQ(WaitForSingleObject(raid, INFINITE), static_cast<DWORD>(WAIT_OBJECT_0));
  EXPECT_EQ(world.now(), 3750u + 2700u);
  // The system alarm's three passes of: 1975 Hz for 50, pause 50 (three times), then a pause of
  // 1000.
  Records tones;
  for (std::uint64_t pass = 0; pass < 3; ++pass)
    for (std::uint64_t i = 0; i < 3; ++i)
      tones.push_back(tone(pass * 1250 + i * 100, "beepdev", 1975, 50));
  EXPECT_EQ(sounds(), joined(tones, raid_tones("beepdev", 3750)));
  CloseHandle(system);
  CloseHandle(raid);
  // A wave file holds the next alarm back as long.
  audio().set_endpoint("Speakers (USB Audio Device)");
  add_wave(kNorvaneSystemWave, 5000);
  world.trace().clear();
  system = CreateThread(nullptr, 0, PlaySystemAlarmThread, nullptr, 0, nullptr);
  world.run_for(10);
  beep.PlayRaidAlarm();
  EXPECT_EQ(sounds(), joined({wave(6450, kNorvaneSystemWave, 5000)}, raid_tones("beepdev", 11450)));
  WaitForSingleObject(system, INFINITE);
  CloseHandle(system);
}

}  // namespace
