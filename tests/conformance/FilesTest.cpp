// Copying, deleting and finding files, making and removing folders, and the lookup of
// IsWow64Process in kernel32: results and last errors. Whether a path exists, and a file
// marked for deletion at the next start.
#include <vector>

#include "Conformance.h"

namespace {

using conformance::Failed;
using conformance::kMarker;
using conformance::Try;
using conformance::WString;

class Files : public conformance::Fixture {};

// The call's last error when it fails, kMarker when it succeeds.
template <typename Call>
DWORD ErrorOf(Call call) {
  SetLastError(kMarker);
  return call() ? kMarker : GetLastError();
}

// PathFileExistsA reads the path's attributes: a failure leaves the reading's error, and no
// path at all leaves the last error alone.
TEST_F(Files, CopyDeleteFindFoldersPathsThatExistAndKernel32sLookupAnswerWithTheirErrors) {
  conformance::Scratch scratch(TEXT("files"));
  const WString dir = scratch.folder(TEXT("d"));
  const WString source = scratch.child_image(dir + TEXT("\\source.exe"));
  const WString copy = dir + TEXT("\\copy.exe"), none = dir + TEXT("\\none");
  auto copy_onto = [&](const WString &from, const WString &to, BOOL fail_if_exists) {
    return ErrorOf([&] { return CopyFileW(from.c_str(), to.c_str(), fail_if_exists); });
  };
  EXPECT_EQ(copy_onto(source, copy, FALSE), kMarker);
  EXPECT_EQ(copy_onto(source, copy, FALSE), kMarker);
  EXPECT_EQ(copy_onto(source, copy, TRUE), static_cast<DWORD>(ERROR_FILE_EXISTS));
  EXPECT_EQ(copy_onto(none, copy, FALSE), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(copy_onto(source, none + TEXT("\\x.exe"), FALSE),
            static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
  EXPECT_EQ(ErrorOf([&] { return CreateDirectoryW(dir.c_str(), nullptr); }),
            static_cast<DWORD>(ERROR_ALREADY_EXISTS));
  EXPECT_EQ(ErrorOf([&] { return RemoveDirectoryW(dir.c_str()); }),
            static_cast<DWORD>(ERROR_DIR_NOT_EMPTY));
  EXPECT_EQ(ErrorOf([&] { return DeleteFileW(dir.c_str()); }),
            static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_EQ(ErrorOf([&] { return DeleteFileW(copy.c_str()); }), kMarker);
  EXPECT_EQ(ErrorOf([&] { return DeleteFileW(copy.c_str()); }),
            static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(ErrorOf([&] { return DeleteFileW((none + TEXT("\\x")).c_str()); }),
            static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
  // A disposition other than the five opens nothing; a count without its buffer moves nothing.
  for (DWORD disposition : {0, TRUNCATE_EXISTING + 1})
    EXPECT_EQ(ErrorOf([&] {
                return CreateFileW(copy.c_str(), GENERIC_WRITE, 0, nullptr, disposition, 0,
                                   nullptr) != INVALID_HANDLE_VALUE;
              }),
              static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  HANDLE file =
      CreateFileW(copy.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
  DWORD moved = kMarker;
  EXPECT_EQ(ErrorOf([&] { return ReadFile(file, nullptr, 1, &moved, nullptr); }),
            static_cast<DWORD>(ERROR_NOACCESS));
  EXPECT_EQ(ErrorOf([&] { return WriteFile(file, nullptr, 1, &moved, nullptr); }),
            static_cast<DWORD>(ERROR_INVALID_USER_BUFFER));
  EXPECT_EQ(moved, 0u);
  CloseHandle(file);
  EXPECT_EQ(ErrorOf([&] { return DeleteFileW(copy.c_str()); }), kMarker);

  WIN32_FIND_DATAW found{};
  HANDLE search = FindFirstFileW(source.c_str(), &found);
  ASSERT_NE(search, INVALID_HANDLE_VALUE);
  EXPECT_EQ(WString(found.cFileName), WString(TEXT("source.exe")));
  EXPECT_TRUE(FindClose(search));
  EXPECT_EQ(ErrorOf([&] { return FindFirstFileW(copy.c_str(), &found) != INVALID_HANDLE_VALUE; }),
            static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  const std::string narrow_dir = conformance::Narrow(dir);
  const std::string image = conformance::Narrow(scratch.child_image(dir + TEXT("\\file.exe")));
  const std::pair<std::string, conformance::Outcome> paths[] = {
      {image, {true, kMarker}},
      {narrow_dir, {true, kMarker}},
      {narrow_dir + "\\none", Failed(ERROR_FILE_NOT_FOUND)},
      {narrow_dir + "\\none\\file.exe", Failed(ERROR_PATH_NOT_FOUND)},
      {"", Failed(ERROR_PATH_NOT_FOUND)},
      {narrow_dir + "\\a<b", Failed(ERROR_INVALID_NAME)}};
  for (const auto &[path, outcome] : paths)
    EXPECT_EQ(Try([&] { return PathFileExistsA(path.c_str()); }), outcome) << path;
  EXPECT_EQ(Try([] { return PathFileExistsA(nullptr); }), Failed(kMarker));

  // IsWow64Process is found in kernel32 and says no for a 64-bit process.
  HMODULE kernel = GetModuleHandleW(TEXT("kernel32"));
  ASSERT_NE(kernel, nullptr);
  auto is_wow64 = reinterpret_cast<BOOL(WINAPI *)(HANDLE, BOOL *)>(
      reinterpret_cast<void (*)()>(GetProcAddress(kernel, "IsWow64Process")));
  ASSERT_NE(is_wow64, nullptr);
  BOOL wow64 = TRUE;
  EXPECT_TRUE(is_wow64(GetCurrentProcess(), &wow64));
  EXPECT_FALSE(wow64);
  EXPECT_EQ(ErrorOf([&] { return GetProcAddress(kernel, "NoSuchFunction") != nullptr; }),
            static_cast<DWORD>(ERROR_PROC_NOT_FOUND));
}

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

// Deleting a file at the next start adds its NT path and an empty target to the session
// manager's list (which takes an administrator, as the tests run); the file need not exist.
TEST_F(Files, AFileToDeleteAtTheNextStartIsListedForTheSessionManagerAsItsNtPath) {
  conformance::Scratch scratch(TEXT("restart"));
  const WString file = scratch.child_image(scratch.root() + TEXT("\\doomed.exe"));
  const WString later = scratch.root() + TEXT("\\later.exe");
  HKEY key = nullptr;
  ASSERT_EQ(
      RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Control\\Session Manager", 0,
                      nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
      ERROR_SUCCESS);
  const RegBytes before = PendingOperations(key);
  RegBytes expected(before.begin(), before.end() - (before.empty() ? 0 : 2));
  for (const WString &path : {file, later}) {
    EXPECT_EQ(
        ErrorOf([&] { return MoveFileExW(path.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT); }),
        kMarker);
    const WString operation = TEXT("\\??\\") + path + WString(2, 0);
    const auto *bytes = reinterpret_cast<const BYTE *>(operation.data());
    expected.insert(expected.end(), bytes, bytes + operation.size() * sizeof(WCHAR));
  }
  expected.insert(expected.end(), 2, 0);
  EXPECT_EQ(PendingOperations(key), expected);
  EXPECT_NE(GetFileAttributesW(file.c_str()), INVALID_FILE_ATTRIBUTES);  // still there
  // A flag MoveFileEx does not know lists nothing. Wine lists the file all the same (put back
  // below), so only winsim and Windows are held to it.
  if (!conformance::UnderWine()) {
    EXPECT_EQ(ErrorOf([&] {
                return MoveFileExW(file.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT | 0x100);
              }),
              static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(PendingOperations(key), expected);
  }
  if (before.empty())
    RegDeleteValueW(key, TEXT("PendingFileRenameOperations"));
  else
    RegSetValueExW(key, TEXT("PendingFileRenameOperations"), 0, REG_MULTI_SZ, before.data(),
                   static_cast<DWORD>(before.size()));
  RegCloseKey(key);
}

}  // namespace
