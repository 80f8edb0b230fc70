// Copying, deleting and finding files, making and removing folders, and the lookup of
// IsWow64Process in kernel32: results and last errors.
#include "Scratch.h"

namespace {

using conformance::kMarker;
using conformance::Scratch;
using conformance::WString;

class Files : public conformance::Fixture {};

// The last error after a call that failed with `result`, or kMarker when it succeeded.
DWORD ErrorOf(BOOL result) {
  return result ? kMarker : GetLastError();
}

TEST_F(Files, CopyDeleteFindAndFoldersAnswerWithTheirErrors) {
  Scratch scratch(TEXT("files"));
  WString dir = scratch.folder(TEXT("d"));
  WString source = scratch.child_image(dir + TEXT("\\source.exe"));
  WString copy = dir + TEXT("\\copy.exe");
  struct Step {
    const char *what;
    BOOL (*call)(const WString &, const WString &, const WString &);
    DWORD error;  // kMarker: succeeds
  } steps[] = {
      {"copy", [](auto &s, auto &c, auto &) { return CopyFileW(s.c_str(), c.c_str(), FALSE); },
       kMarker},
      {"copy over", [](auto &s, auto &c, auto &) { return CopyFileW(s.c_str(), c.c_str(), FALSE); },
       kMarker},
      {"copy refused",
       [](auto &s, auto &c, auto &) { return CopyFileW(s.c_str(), c.c_str(), TRUE); },
       ERROR_FILE_EXISTS},
      {"copy of a missing file",
       [](auto &, auto &c, auto &d) {
         return CopyFileW((d + TEXT("\\none")).c_str(), c.c_str(), FALSE);
       },
       ERROR_FILE_NOT_FOUND},
      {"copy into a missing folder",
       [](auto &s, auto &, auto &d) {
         return CopyFileW(s.c_str(), (d + TEXT("\\none\\x.exe")).c_str(), FALSE);
       },
       ERROR_PATH_NOT_FOUND},
      {"existing folder",
       [](auto &, auto &, auto &d) { return CreateDirectoryW(d.c_str(), nullptr); },
       ERROR_ALREADY_EXISTS},
      {"folder not empty", [](auto &, auto &, auto &d) { return RemoveDirectoryW(d.c_str()); },
       ERROR_DIR_NOT_EMPTY},
      {"delete", [](auto &, auto &c, auto &) { return DeleteFileW(c.c_str()); }, kMarker},
      {"delete again", [](auto &, auto &c, auto &) { return DeleteFileW(c.c_str()); },
       ERROR_FILE_NOT_FOUND},
      {"delete in a missing folder",
       [](auto &, auto &, auto &d) { return DeleteFileW((d + TEXT("\\none\\x")).c_str()); },
       ERROR_PATH_NOT_FOUND},
      {"delete a folder", [](auto &, auto &, auto &d) { return DeleteFileW(d.c_str()); },
       ERROR_ACCESS_DENIED},
  };
  for (const Step &step : steps) {
    SCOPED_TRACE(step.what);
    SetLastError(kMarker);
    EXPECT_EQ(ErrorOf(step.call(source, copy, dir)), step.error);
  }

  WIN32_FIND_DATAW found{};
  HANDLE search = FindFirstFileW(source.c_str(), &found);
  ASSERT_NE(search, INVALID_HANDLE_VALUE);
  EXPECT_EQ(WString(found.cFileName), WString(TEXT("source.exe")));
  EXPECT_EQ(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY, 0u);
  EXPECT_TRUE(FindClose(search));
  SetLastError(kMarker);
  EXPECT_EQ(FindFirstFileW(copy.c_str(), &found), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST_F(Files, IsWow64ProcessIsFoundInKernel32AndSaysNoForA64BitProcess) {
  HMODULE kernel = GetModuleHandleW(TEXT("kernel32"));
  ASSERT_NE(kernel, nullptr);
  using IsWow64 = BOOL(WINAPI *)(HANDLE, BOOL *);
  auto is_wow64 = reinterpret_cast<IsWow64>(
      reinterpret_cast<void (*)()>(GetProcAddress(kernel, "IsWow64Process")));
  ASSERT_NE(is_wow64, nullptr);
  BOOL wow64 = TRUE;
  EXPECT_TRUE(is_wow64(GetCurrentProcess(), &wow64));
  EXPECT_FALSE(wow64);
  SetLastError(kMarker);
  EXPECT_EQ(GetProcAddress(kernel, "NoSuchFunction"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));
}

}  // namespace
