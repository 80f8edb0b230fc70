// Devices and the ways the programs tell the world of what they see. The monitor's opens: a
// drive or device that is not there, and a SMART read sent where no disk answers it (the count
// of bytes returned is left alone by a request that never reached a device). Announcing a
// volume as ShellBeacon does: SHChangeNotify and a WM_DEVICECHANGE broadcast with
// SendMessageTimeoutA; a message sent or posted to a window that does not exist; a search for
// a top-level window that finds nothing. The event-log writer as Quillet uses it: register a
// source, report an event with one string, deregister; and the refusals (Wine's event log is a
// stub that takes every call and keeps nothing, so the refusals, which the event log service
// makes on Windows, are asserted only outside Wine). The alarm's sound calls: Beep, PlaySoundA
// of a wave file that cannot play, and the default audio output found through COM (only
// results are compared after Beep and PlaySoundA: Wine's leave errors of their own output
// paths as the last error).
#include <cstring>

#include "Conformance.h"

namespace {

using conformance::Failed;
using conformance::kMarker;
using conformance::LoggedEvent;
using conformance::Try;
using conformance::WString;

class Devices : public conformance::Fixture {};

HANDLE OpenDevice(const char *path) {
  return CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                     nullptr, OPEN_EXISTING, 0, nullptr);
}

// The last error of a SMART data request on `handle`, kMarker when it succeeds; the count
// returned must stay as it was.
DWORD SmartReadError(HANDLE handle) {
  SENDCMDINPARAMS request = {};
  request.cBufferSize = sizeof request;
  request.irDriveRegs.bFeaturesReg = READ_ATTRIBUTES;
  request.irDriveRegs.bCylLowReg = SMART_CYL_LOW;
  request.irDriveRegs.bCylHighReg = SMART_CYL_HI;
  request.irDriveRegs.bCommandReg = SMART_CMD;
  BYTE reply[sizeof(SENDCMDOUTPARAMS) - 1 + READ_ATTRIBUTE_BUFFER_SIZE];
  DWORD returned = kMarker;
  SetLastError(kMarker);
  BOOL done = DeviceIoControl(handle, SMART_RCV_DRIVE_DATA, &request, sizeof request, reply,
                              sizeof reply, &returned, nullptr);
  EXPECT_EQ(returned, kMarker);
  return done ? kMarker : GetLastError();
}

TEST_F(Devices, AMissingDeviceIsNotFoundAndASmartReadWithoutADiskIsRefusedBeforeAnswering) {
  for (const char *path : {"\\\\.\\PHYSICALDRIVE9", "\\\\.\\NorvaneNoSuchDevice"}) {
    EXPECT_EQ(Try([&] { return OpenDevice(path) != INVALID_HANDLE_VALUE; }),
              Failed(ERROR_FILE_NOT_FOUND))
        << path;
  }

  if (!conformance::HandleMisuseStops()) {
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    EXPECT_EQ(SmartReadError(event), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    CloseHandle(event);
    for (HANDLE bad : {event, static_cast<HANDLE>(nullptr), INVALID_HANDLE_VALUE})
      EXPECT_EQ(SmartReadError(bad), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  }
  // The request asks for read and write access: a handle opened for reading is refused first.
  conformance::Scratch scratch(TEXT("devices"));
  WString file = scratch.child_image(scratch.root() + TEXT("\\data.bin"));
  HANDLE reader =
      CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(reader, INVALID_HANDLE_VALUE);
  EXPECT_EQ(SmartReadError(reader), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  CloseHandle(reader);
}

class Broadcast : public conformance::Fixture {};

// The last error after a broadcast is whatever delivering it to the windows left behind (under
// Wine 0 or the value before, from run to run), so it is not looked at.
TEST_F(Broadcast, AVolumeArrivalToEveryWindowSucceedsAndNoSuchWindowIsAnInvalidHandle) {
  DEV_BROADCAST_VOLUME volume = {sizeof volume, DBT_DEVTYP_VOLUME, 0, 1u << 4, 0};
  auto send = [&](HWND window, PDWORD_PTR result) {
    return SendMessageTimeoutA(window, WM_DEVICECHANGE, DBT_DEVICEARRIVAL,
                               reinterpret_cast<LPARAM>(&volume), SMTO_ABORTIFHUNG, 100, result);
  };
  EXPECT_EQ(send(HWND_BROADCAST, nullptr), 1);
  DWORD_PTR result = 0x5A5A;
  EXPECT_EQ(send(HWND_BROADCAST, &result), 1);
  EXPECT_EQ(result, 1u);
  result = 0x5A5A;
  EXPECT_EQ(
      Try([&] { return send(reinterpret_cast<HWND>(static_cast<ULONG_PTR>(0x12344)), &result); }),
      Failed(ERROR_INVALID_WINDOW_HANDLE));
  EXPECT_EQ(result, 0u);
  EXPECT_EQ(Try([] {
              return PostMessageW(reinterpret_cast<HWND>(static_cast<ULONG_PTR>(0x7FF0)), WM_CLOSE,
                                  0, 0);
            }),
            Failed(ERROR_INVALID_WINDOW_HANDLE));

  // The shell's drive notification and a search that finds nothing leave the last error alone.
  SetLastError(kMarker);
  SHChangeNotify(SHCNE_DRIVEADD, SHCNF_PATHA, "E:\\", nullptr);
  EXPECT_EQ(GetLastError(), kMarker);
  EXPECT_EQ(
      Try([] { return FindWindowW(TEXT("#32770"), TEXT("Norvane Conformance: no such dialog")); }),
      Failed(kMarker));
  EXPECT_EQ(Try([] { return FindWindowW(TEXT("NorvaneConformanceNoSuchClass"), nullptr); }),
            Failed(kMarker));
}

class EventLog : public conformance::Fixture {};

TEST_F(EventLog, ASourceReportsEventsUntilDeregisteredLeavingTheLastErrorAlone) {
  SetLastError(kMarker);
  HANDLE source = RegisterEventSourceA(nullptr, "NorvaneConformance");
  ASSERT_NE(source, nullptr);
  // "監視開始" in code page 932: the strings are stored as reported.
  const char *strings[] = {"\x8a\xc4\x8e\x8b\x8a\x4a\x8e\x6e"};
  EXPECT_TRUE(
      ReportEventA(source, EVENTLOG_WARNING_TYPE, 0, 0x1234, nullptr, 1, 0, strings, nullptr));
  EXPECT_TRUE(ReportEventA(source, EVENTLOG_ERROR_TYPE, 0, 0, nullptr, 0, 0, nullptr, nullptr));
  EXPECT_TRUE(DeregisterEventSource(source));
  EXPECT_EQ(GetLastError(), kMarker);

  std::vector<LoggedEvent> expected = {
      {"NorvaneConformance", EVENTLOG_WARNING_TYPE, 0x1234, {strings[0]}},
      {"NorvaneConformance", EVENTLOG_ERROR_TYPE, 0, {}}};
  EXPECT_EQ(conformance::LoggedEvents(),
            conformance::UnderWine() ? std::vector<LoggedEvent>() : expected);
  if (conformance::UnderWine()) return;

  // A deregistered, a null or a never registered source is an invalid handle.
  const char *one[] = {"x"};
  for (HANDLE bad : {source, static_cast<HANDLE>(nullptr)}) {
    if (conformance::HandleMisuseStops()) break;
    EXPECT_EQ(Try([&] {
                return ReportEventA(bad, EVENTLOG_WARNING_TYPE, 0, 1, nullptr, 1, 0, one, nullptr);
              }),
              Failed(ERROR_INVALID_HANDLE));
    EXPECT_EQ(Try([&] { return DeregisterEventSource(bad); }), Failed(ERROR_INVALID_HANDLE));
  }
  EXPECT_EQ(conformance::LoggedEvents().size(), 2u);
  // No source name is an invalid parameter; the Security log is the system's alone, as the
  // documentation of RegisterEventSource says.
  const std::pair<const char *, DWORD> refusals[] = {{nullptr, ERROR_INVALID_PARAMETER},
                                                     {"Security", ERROR_ACCESS_DENIED}};
  for (const auto &[name, error] : refusals)
    EXPECT_EQ(Try([&] { return RegisterEventSourceA(nullptr, name); }), Failed(error));
}

class Sound : public conformance::Fixture {};

constexpr CLSID kDeviceEnumerator = {
    0xBCDE0395, 0xE52F, 0x467C, {0x8E, 0x3D, 0xC4, 0x57, 0x92, 0x91, 0x69, 0x2E}};
constexpr IID kIDeviceEnumerator = {
    0xA95664D2, 0x9614, 0x4F35, {0xA7, 0x46, 0xDE, 0x8D, 0xB6, 0x36, 0x17, 0xE6}};
constexpr IID kIUnknown = {0, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

HRESULT CreateEnumerator(const CLSID &clsid, DWORD context, const IID &iid, void **object) {
  return CoCreateInstance(clsid, nullptr, context, iid, object);
}

// The default output is found through the enumerator once COM is initialised.
TEST_F(Sound, ABeepIsTakenAtAnyFrequencyAWaveThatCannotPlayPlaysNothingAndComFindsNoOutput) {
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
