// Copying, deleting and finding files, making and removing folders, and the lookup of
// IsWow64Process in kernel32: results and last errors.
#include "Scratch.h"

namespace {

using conformance::kMarker;
using conformance::WString;

class Files : public conformance::Fixture {};

// The call's last error when it fails, kMarker when it succeeds.
template <typename Call>
DWORD ErrorOf(Call call) {
  SetLastError(kMarker);
  return call() ? kMarker : GetLastError();
}

TEST_F(Files, CopyDeleteFindFoldersAndKernel32sLookupAnswerWithTheirErrors) {
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

  WIN32_FIND_DATAW found{};
  HANDLE search = FindFirstFileW(source.c_str(), &found);
  ASSERT_NE(search, INVALID_HANDLE_VALUE);
  EXPECT_EQ(WString(found.cFileName), WString(TEXT("source.exe")));
  EXPECT_TRUE(FindClose(search));
  EXPECT_EQ(ErrorOf([&] { return FindFirstFileW(copy.c_str(), &found) != INVALID_HANDLE_VALUE; }),
            static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
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

}  // namespace
