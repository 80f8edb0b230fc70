#include "monitor/NASBeep.h"

#include <vector>

#include "platform/HandleGuard.h"
#include "service/RegHandle.h"

namespace {

// The record written to the beep device for one tone (little-endian).
struct BeepDevTone {
  DWORD dwDuration;   // milliseconds
  DWORD dwFrequency;  // hertz
};
static_assert(sizeof(BeepDevTone) == 8, "the beep device takes 8-byte tone records");

// The audio endpoint enumerator and the friendly-name property, defined here rather than taken
// from the SDK's libraries.
const CLSID kClsidDeviceEnumerator = {
    0xBCDE0395, 0xE52F, 0x467C, {0x8E, 0x3D, 0xC4, 0x57, 0x92, 0x91, 0x69, 0x2E}};
const IID kIidDeviceEnumerator = {
    0xA95664D2, 0x9614, 0x4F35, {0xA7, 0x46, 0xDE, 0x8D, 0xB6, 0x36, 0x17, 0xE6}};
const PROPERTYKEY kFriendlyNameKey = {
    {0xA45C254E, 0xDF1C, 0x4EFD, {0x80, 0x20, 0x67, 0xD1, 0x46, 0xA8, 0x50, 0xE0}}, 14};

const char kSoundKey[] = "SOFTWARE\\Tavrel\\NAS";
const char kSoundFolderWithKey[] = "C:\\Windows\\SysWOW64\\Drovik";
const char kSoundFolder[] = "C:\\Windows\\SysWOW64\\NorvaneNas";
const char kRaidWave[] = "raiderr.wav";
const char kSystemWave[] = "syserr.wav";
const char kBeepDevice[] = "\\\\.\\BeepDev";
const char kOnBoardOutput[] = "High Definition Audio";
const int kPasses = 3;

// Held for the whole of every alarm; see NASBeep::InitializeAlarmLock.
CRITICAL_SECTION g_csAlarm;

// The text in the thread's code page; false when it cannot be converted.
bool ToThreadCodePage(LPCWSTR pwszText, std::string &strText) {
  int cb = WideCharToMultiByte(CP_THREAD_ACP, 0, pwszText, -1, nullptr, 0, nullptr, nullptr);
  if (cb == 0) return false;
  std::vector<char> buffer(static_cast<std::size_t>(cb));
  if (WideCharToMultiByte(CP_THREAD_ACP, 0, pwszText, -1, buffer.data(), cb, nullptr, nullptr) == 0)
    return false;
  strText = buffer.data();
  return true;
}

}  // namespace

void NASBeep::InitializeAlarmLock() {
  InitializeCriticalSection(&g_csAlarm);
}

void NASBeep::PlayRaidAlarm() {
  // The RAID alarm pauses before each tone.
  static const AlarmStep kRaidPattern[] = {{0, 100}, {1975, 200}, {0, 100}, {1567, 500}};
  PlayAlarm(kRaidWave, kRaidPattern, sizeof kRaidPattern / sizeof kRaidPattern[0]);
}

void NASBeep::PlaySystemAlarm() {
  // The system alarm pauses after each tone.
  static const AlarmStep kSystemPattern[] = {{1975, 50}, {0, 50},    {1975, 50},
                                             {0, 50},    {1975, 50}, {0, 1000}};
  PlayAlarm(kSystemWave, kSystemPattern, sizeof kSystemPattern / sizeof kSystemPattern[0]);
}

void NASBeep::PlayAlarm(const char *pszWaveFile, const AlarmStep *pSteps, std::size_t nSteps) {
  EnterCriticalSection(&g_csAlarm);
  std::string strPath = SoundFolder() + "\\" + pszWaveFile;
  if (!PlayWave(strPath.c_str())) PlayTonePattern(pSteps, nSteps);
  LeaveCriticalSection(&g_csAlarm);
}

// The folder of the wave files, chosen anew at every alarm.
std::string NASBeep::SoundFolder() {
  RegHandle reg(nullptr, "");
  return reg.KeyExists(HKEY_LOCAL_MACHINE, kSoundKey) ? kSoundFolderWithKey : kSoundFolder;
}

bool NASBeep::PlayWave(const char *pszWavePath) {
  std::string strName;
  if (!ReadDefaultOutputName(strName) || !IsSuitableOutput(strName)) return false;
  if (!PathFileExistsA(pszWavePath)) return false;
  return PlaySoundA(pszWavePath, nullptr, SND_FILENAME | SND_NODEFAULT) != FALSE;
}

// The friendly name of the default render endpoint (console role), in the thread's code page;
// false when there is no such endpoint or its name cannot be read. An endpoint without a name
// gives the empty name. A name that cannot be converted is not known either: the output might
// be the on-board one, on which an alarm could go unheard. COM lives only for this call, and is
// left only when this call entered it, so that a caller's own use of COM on the thread stays.
bool NASBeep::ReadDefaultOutputName(std::string &strName) {
  bool bComEntered = SUCCEEDED(CoInitialize(nullptr));
  IMMDeviceEnumerator *pEnumerator = nullptr;
  IMMDevice *pEndpoint = nullptr;
  IPropertyStore *pStore = nullptr;
  PROPVARIANT varName;
  PropVariantInit(&varName);

  HRESULT hr = CoCreateInstance(kClsidDeviceEnumerator, nullptr, CLSCTX_ALL, kIidDeviceEnumerator,
                                reinterpret_cast<void **>(&pEnumerator));
  if (SUCCEEDED(hr)) hr = pEnumerator->GetDefaultAudioEndpoint(eRender, eConsole, &pEndpoint);
  if (SUCCEEDED(hr)) hr = pEndpoint->OpenPropertyStore(STGM_READ, &pStore);
  if (SUCCEEDED(hr)) hr = pStore->GetValue(kFriendlyNameKey, &varName);
  bool bNamed = SUCCEEDED(hr);
  strName.clear();
  if (bNamed && varName.vt == VT_LPWSTR && varName.pwszVal != nullptr)
    bNamed = ToThreadCodePage(varName.pwszVal, strName);

  PropVariantClear(&varName);
  if (pStore != nullptr) pStore->Release();
  if (pEndpoint != nullptr) pEndpoint->Release();
  if (pEnumerator != nullptr) pEnumerator->Release();
  if (bComEntered) CoUninitialize();
  return bNamed;
}

// The on-board HD Audio output is not used for the alarms; any other output is.
bool NASBeep::IsSuitableOutput(const std::string &strName) {
  return strName.find(kOnBoardOutput) == std::string::npos;
}

void NASBeep::PlayTonePattern(const AlarmStep *pSteps, std::size_t nSteps) {
  for (int nPass = 0; nPass < kPasses; ++nPass)
    for (std::size_t i = 0; i < nSteps; ++i) {
      if (pSteps[i].dwFrequency == 0)
        Sleep(pSteps[i].dwMilliseconds);
      else
        PlayTone(pSteps[i].dwFrequency, pSteps[i].dwMilliseconds);
    }
}

// One tone on the beep device, or with Beep when the device does not take it. The device is
// opened anew for every tone, so a device that comes back is used again.
void NASBeep::PlayTone(DWORD dwFrequency, DWORD dwMilliseconds) {
  if (!WriteToBeepDevice(dwFrequency, dwMilliseconds)) Beep(dwFrequency, dwMilliseconds);
}

bool NASBeep::WriteToBeepDevice(DWORD dwFrequency, DWORD dwMilliseconds) {
  KernelHandle hDevice(CreateFileA(kBeepDevice, GENERIC_WRITE, FILE_SHARE_WRITE, nullptr,
                                   OPEN_EXISTING, 0, nullptr));
  if (!hDevice.Holds()) return false;
  BeepDevTone tone = {dwMilliseconds, dwFrequency};
  DWORD dwWritten = 0;
  return WriteFile(hDevice, &tone, sizeof tone, &dwWritten, nullptr) != FALSE;
}
