// Files, devices and the ways the programs announce what they see: copying, deleting and
// finding files, folders, paths that exist and files deleted at the next start; the monitor's
// device opens and SMART reads; ShellBeacon's volume broadcast and window calls; Quillet's
// event log writer (Wine's event log is a stub that takes every call and keeps nothing, so the
// refusals the event log service makes on Windows are asserted only outside Wine); the alarm's
// sound calls (after Beep and PlaySoundA only results are compared: Wine's leave errors of their
// own output paths as the last error).
#include <cstring>
#include <vector>

#include "Conformance.h"

namespace {

using conformance::Failed;
using conformance::kMarker;
using conformance::LoggedEvent;
using conformance::Try;
using conformance::WString;

class FilesAndDevices : public conformance::Fixture {};

using RegBytes = std::vector<BYTE>;

// The session manager's list of operations at the next start, or nothing.
RegBytes PendingOperations(HKEY key) {
  RegBytes data(8192);
  DWORD type = 0, size = static_cast<DWORD>(data.size());
  if (RegQueryValueExW(key, TEXT("PendingFileRenameOperations"), nullptr, &type, data.data(),
                       &size) != ERROR_SUCCESS)
    return RegBytes();
  EXPECT_EQ(type, static_cast<DWORD>(REG_MULTI_SZ));
  data.resize(size);
  return data;
}

TEST_F(FilesAndDevices,
       FilesFoldersDevicesAndWindowsAnswerWithTheirErrorsAndAVolumeArrivalReachesAll) {
  conformance::Scratch scratch(TEXT("files"));
  const WString dir = scratch.folder(TEXT("d"));
  const WString source = scratch.child_image(dir + TEXT("\\source.exe"));
  const WString copy = dir + TEXT("\\copy.exe"), none = dir + TEXT("\\none");
  auto copy_onto = [&](const WString &from, const WString &to, BOOL fail_if_exists) {
    return Try([&] { return CopyFileW(from.c_str(), to.c_str(), fail_if_exists); });
  };
  EXPECT_TRUE(CopyFileW(source.c_str(), copy.c_str(), FALSE));
  EXPECT_TRUE(CopyFileW(source.c_str(), copy.c_str(), FALSE));
  EXPECT_EQ(copy_onto(source, copy, TRUE), Failed(ERROR_FILE_EXISTS));
  EXPECT_EQ(copy_onto(none, copy, FALSE), Failed(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(copy_onto(source, none + TEXT("\\x.exe"), FALSE), Failed(ERROR_PATH_NOT_FOUND));
  EXPECT_EQ(Try([&] { return CreateDirectoryW(dir.c_str(), nullptr); }),
            Failed(ERROR_ALREADY_EXISTS));
  EXPECT_EQ(Try([&] { return RemoveDirectoryW(dir.c_str()); }), Failed(ERROR_DIR_NOT_EMPTY));
  EXPECT_EQ(Try([&] { return DeleteFileW(dir.c_str()); }), Failed(ERROR_ACCESS_DENIED));
  EXPECT_TRUE(DeleteFileW(copy.c_str()));
  EXPECT_EQ(Try([&] { return DeleteFileW(copy.c_str()); }), Failed(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(Try([&] { return DeleteFileW((none + TEXT("\\x")).c_str()); }),
            Failed(ERROR_PATH_NOT_FOUND));
  // A disposition other than the five opens nothing; a count without its buffer moves nothing.
  for (DWORD disposition : {0, TRUNCATE_EXISTING + 1})
    EXPECT_EQ(Try([&] {
                return CreateFileW(copy.c_str(), GENERIC_WRITE, 0, nullptr, disposition, 0,
                                   nullptr) != INVALID_HANDLE_VALUE;
              }),
              Failed(ERROR_INVALID_PARAMETER));
  HANDLE file =
      CreateFileW(copy.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
  DWORD moved = kMarker;
  EXPECT_EQ(Try([&] { return ReadFile(file, nullptr, 1, &moved, nullptr); }),
            Failed(ERROR_NOACCESS));
  EXPECT_EQ(Try([&] { return WriteFile(file, nullptr, 1, &moved, nullptr); }),
            Failed(ERROR_INVALID_USER_BUFFER));
  EXPECT_EQ(moved, 0u);
  CloseHandle(file);
  EXPECT_TRUE(DeleteFileW(copy.c_str()));

  WIN32_FIND_DATAW found{};
  HANDLE search = FindFirstFileW(source.c_str(), &found);
  ASSERT_NE(search, INVALID_HANDLE_VALUE);
  EXPECT_EQ(WString(found.cFileName), WString(TEXT("source.exe")));
  EXPECT_TRUE(FindClose(search));
  EXPECT_EQ(Try([&] { return FindFirstFileW(copy.c_str(), &found) != INVALID_HANDLE_VALUE; }),
            Failed(ERROR_FILE_NOT_FOUND));
  // PathFileExistsA reads the path's attributes: a failure leaves the reading's error, and no
  // path at all leaves the last error alone.
  const std::string narrow_dir = conformance::Narrow(dir);
  const std::pair<std::string, conformance::Outcome> paths[] = {
      {conformance::Narrow(source), {true, kMarker}},
      {narrow_dir, {true, kMarker}},
      {narrow_dir + "\\none", Failed(ERROR_FILE_NOT_FOUND)},
      {narrow_dir + "\\none\\file.exe", Failed(ERROR_PATH_NOT_FOUND)},
      {"", Failed(ERROR_PATH_NOT_FOUND)},
      {narrow_dir + "\\a<b", Failed(ERROR_INVALID_NAME)}};
  for (const auto &[path, outcome] : paths)
    EXPECT_EQ(Try([&] { return PathFileExistsA(path.c_str()); }), outcome) << path;
  EXPECT_EQ(Try([] { return PathFileExistsA(nullptr); }), Failed(kMarker));
  EXPECT_EQ(PathFileExistsA(narrow_dir.c_str()), TRUE);  // TRUE itself, not just nonzero

  // IsWow64Process is found in kernel32 and says no for a 64-bit process.
  HMODULE kernel = GetModuleHandleW(TEXT("kernel32"));
  ASSERT_NE(kernel, nullptr);
  auto is_wow64 = reinterpret_cast<BOOL(WINAPI *)(HANDLE, BOOL *)>(
      reinterpret_cast<void (*)()>(GetProcAddress(kernel, "IsWow64Process")));
  ASSERT_NE(is_wow64, nullptr);
  BOOL wow64 = TRUE;
  EXPECT_TRUE(is_wow64(GetCurrentProcess(), &wow64));
  EXPECT_FALSE(wow64);
  EXPECT_EQ(Try([&] { return GetProcAddress(kernel, "NoSuchFunction") != nullptr; }),
            Failed(ERROR_PROC_NOT_FOUND));

  // Deleting a file at the next start adds its NT path and an empty target to the session
  // manager's list (which takes an administrator, as the tests run); the file need not exist.
  const WString doomed = scratch.child_image(scratch.root() + TEXT("\\doomed.exe"));
  const WString later = scratch.root() + TEXT("\\later.exe");
  HKEY key = nullptr;
  ASSERT_EQ(
      RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Control\\Session Manager", 0,
                      nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
      ERROR_SUCCESS);
  const RegBytes before = PendingOperations(key);
  RegBytes expected(before.begin(), before.end() - (before.empty() ? 0 : 2));
  for (const WString &path : {doomed, later}) {
    EXPECT_TRUE(MoveFileExW(path.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT));
    const WString operation = TEXT("\\??\\") + path + WString(2, 0);
    const auto *bytes = reinterpret_cast<const BYTE *>(operation.data());
    expected.insert(expected.end(), bytes, bytes + operation.size() * sizeof(WCHAR));
  }
  expected.insert(expected.end(), 2, 0);
  EXPECT_EQ(PendingOperations(key), expected);
  EXPECT_NE(GetFileAttributesW(doomed.c_str()), INVALID_FILE_ATTRIBUTES);  // still there
  // A flag MoveFileEx does not know lists nothing. Wine lists the doomed all the same (put back
  // below), so only winsim and Windows are held to it.
  if (!conformance::UnderWine()) {
    EXPECT_EQ(Try([&] {
                return MoveFileExW(doomed.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT | 0x100);
              }),
              Failed(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(PendingOperations(key), expected);
  }
  if (before.empty())
    RegDeleteValueW(key, TEXT("PendingFileRenameOperations"));
  else
    RegSetValueExW(key, TEXT("PendingFileRenameOperations"), 0, REG_MULTI_SZ, before.data(),
                   static_cast<DWORD>(before.size()));
  RegCloseKey(key);

  EXPECT_EQ(Try([] {
              return CreateFileA("\\\\.\\PHYSICALDRIVE9", GENERIC_READ | GENERIC_WRITE,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                                 nullptr) != INVALID_HANDLE_VALUE;
            }),
            Failed(ERROR_FILE_NOT_FOUND));

  // The request asks for read and write access: a handle opened for reading is refused first.
  WString data = scratch.child_image(scratch.root() + TEXT("\\data.bin"));
  HANDLE reader =
      CreateFileW(data.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(reader, INVALID_HANDLE_VALUE);
  SENDCMDINPARAMS request = {};
  request.cBufferSize = sizeof request;
  request.irDriveRegs.bFeaturesReg = READ_ATTRIBUTES;
  request.irDriveRegs.bCylLowReg = SMART_CYL_LOW;
  request.irDriveRegs.bCylHighReg = SMART_CYL_HI;
  request.irDriveRegs.bCommandReg = SMART_CMD;
  BYTE reply[sizeof(SENDCMDOUTPARAMS) - 1 + READ_ATTRIBUTE_BUFFER_SIZE];
  DWORD returned = kMarker;  // a request that reaches no device leaves the count alone
  EXPECT_EQ(Try([&] {
              return DeviceIoControl(reader, SMART_RCV_DRIVE_DATA, &request, sizeof request, reply,
                                     sizeof reply, &returned, nullptr);
            }),
            Failed(ERROR_ACCESS_DENIED));
  EXPECT_EQ(returned, kMarker);
  CloseHandle(reader);

  // The last error after a broadcast is whatever delivering it to the windows left behind (under
  // Wine 0 or the value before, from run to run), so it is not looked at.
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
}

constexpr CLSID kDeviceEnumerator = {
    0xBCDE0395, 0xE52F, 0x467C, {0x8E, 0x3D, 0xC4, 0x57, 0x92, 0x91, 0x69, 0x2E}};
constexpr IID kIDeviceEnumerator = {
    0xA95664D2, 0x9614, 0x4F35, {0xA7, 0x46, 0xDE, 0x8D, 0xB6, 0x36, 0x17, 0xE6}};
constexpr IID kIUnknown = {0, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

HRESULT CreateEnumerator(const CLSID &clsid, DWORD context, const IID &iid, void **object) {
  return CoCreateInstance(clsid, nullptr, context, iid, object);
}

// The default output is found through the enumerator once COM is initialised.
TEST_F(FilesAndDevices, ABeepIsTakenComFindsNoAudioOutputAndAnEventSourceReportsUntilDeregistered) {
  for (DWORD frequency : {37u, 32767u, 36u, 32768u}) EXPECT_TRUE(Beep(frequency, 1)) << frequency;
  const std::string wave = conformance::Narrow(conformance::TempRoot()) + "none.wav";
  EXPECT_FALSE(PlaySoundA(wave.c_str(), nullptr, SND_FILENAME | SND_NODEFAULT));
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
  const std::pair<EDataFlow, ERole> wrong[] = {{eAll, eConsole}, {eRender, ERole_enum_count}};
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

  // No source name is an invalid parameter; the Security log is the system's alone, as the
  // documentation of RegisterEventSource says.
  const std::pair<const char *, DWORD> refusals[] = {{nullptr, ERROR_INVALID_PARAMETER},
                                                     {"Security", ERROR_ACCESS_DENIED}};
  for (const auto &[source_name, error] : refusals)
    EXPECT_EQ(Try([&] { return RegisterEventSourceA(nullptr, source_name); }), Failed(error));
}

}  // namespace
