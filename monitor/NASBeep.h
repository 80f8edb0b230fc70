// The appliance's two audible alarms, RAID and system. An alarm is played as a wave file through
// the default audio output when that output is suitable (its name does not say it is the
// on-board HD Audio device), otherwise as a pattern of tones on the beep device, tone by tone
// with Beep when the device is missing or refuses the tone. Every alarm is played under one
// process-wide alarm lock, so alarms never overlap: a call made while another alarm plays waits
// until that alarm has ended.
#pragma once

#include <cstddef>
#include <string>

#include "platform/win32.h"

class NASBeep {
 public:
  // Prepares the alarm lock. Called once when the program starts, before the first NASBeep
  // exists and before a second thread runs; the lock lives until the process ends and is never
  // deleted (its owners are threads that may still be ending while the service stops).
  static void InitializeAlarmLock();

  NASBeep() = default;
  virtual ~NASBeep() = default;
  NASBeep(const NASBeep &) = delete;
  NASBeep &operator=(const NASBeep &) = delete;

  // Each plays its alarm once and returns when it has ended: the wave file once, or three
  // passes of the tone pattern.
  void PlayRaidAlarm();
  void PlaySystemAlarm();
  // Plays the wave file at `pszWavePath` when the default audio output is suitable and the
  // file exists; true when it was played.
  bool PlayWave(const char *pszWavePath);

 private:
  // One step of a tone pattern: a tone, or a pause when the frequency is 0.
  struct AlarmStep {
    DWORD dwFrequency;
    DWORD dwMilliseconds;
  };

  void PlayAlarm(const char *pszWaveFile, const AlarmStep *pSteps, std::size_t nSteps);
  static std::string SoundFolder();
  static bool ReadDefaultOutputName(std::string &strName);
  static bool IsSuitableOutput(const std::string &strName);
  static void PlayTonePattern(const AlarmStep *pSteps, std::size_t nSteps);
  static void PlayTone(DWORD dwFrequency, DWORD dwMilliseconds);
  static bool WriteToBeepDevice(DWORD dwFrequency, DWORD dwMilliseconds);
};
