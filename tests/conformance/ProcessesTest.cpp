// Processes and the pipes between them: the program search order, exit codes, waits on
// processes, termination and inherited handles; reads and peeks of anonymous pipes, the broken
// pipe once every write end is closed, pipes handed to a child process as its standard output,
// and a pipe is no console.
#include <string>
#include <tuple>

#include "Conformance.h"

namespace {

using conformance::ChildCommandLine;
using conformance::ChildImage;
using conformance::Failed;
using conformance::kMarker;
using conformance::Scratch;
using conformance::Try;
using conformance::WString;

class Processes : public conformance::Fixture {};

// Starts `line` as CreateProcessW does with the other arguments given; a failure's error stays
// the last error (the marker before the call).
bool Launch(WString line, PROCESS_INFORMATION *pi, const WCHAR *application = nullptr,
            const WCHAR *folder = nullptr, BOOL inherit = FALSE, DWORD flags = 0) {
  STARTUPINFOW si = {};
  si.cb = sizeof si;
  *pi = {};
  SetLastError(kMarker);
  return CreateProcessW(application, line.data(), nullptr, nullptr, inherit, flags, nullptr, folder,
                        &si, pi) != FALSE;
}

// Starts the child program in `mode`; the process and thread handles are closed by the caller.
PROCESS_INFORMATION Start(const WString &mode, const WString &arguments = WString()) {
  PROCESS_INFORMATION pi = {};
  EXPECT_TRUE(Launch(ChildCommandLine(mode, arguments), &pi)) << GetLastError();
  return pi;
}

// Waits for the process to end, closes its handles and returns its exit code.
DWORD Finish(const PROCESS_INFORMATION &pi) {
  EXPECT_EQ(WaitForSingleObject(pi.hProcess, INFINITE), WAIT_OBJECT_0);
  DWORD code = kMarker;
  EXPECT_TRUE(GetExitCodeProcess(pi.hProcess, &code));
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  return code;
}

TEST_F(Processes, AProgramIsFoundInTheSearchOrderGetsWhatItIsGivenAndEndsWithItsLastThreadsCode) {
  Scratch scratch(TEXT("missing"));
  const WString absent = scratch.root() + TEXT("\\absent.exe");
  const WString no_folder = scratch.root() + TEXT("\\absent");
  const WString child = ChildCommandLine(TEXT("exit"), TEXT("0"));
  const WString missing = TEXT("norvane-no-such-program --child exit 0");
  // The command line, application name and folder given, the error, and the creation flags (a
  // new console and none at all exclude each other).
  const std::tuple<WString, const WCHAR *, const WCHAR *, DWORD, DWORD> cases[] = {
      {missing, nullptr, nullptr, ERROR_FILE_NOT_FOUND, 0},
      {missing, absent.c_str(), nullptr, ERROR_FILE_NOT_FOUND, 0},
      {child, nullptr, no_folder.c_str(), ERROR_DIRECTORY, 0},
      {child, nullptr, nullptr, ERROR_INVALID_PARAMETER, CREATE_NEW_CONSOLE | DETACHED_PROCESS}};
  for (const auto &[line, application, folder, error, flags] : cases) {
    // Wine starts the child with both console flags, which the documentation says exclude
    // each other; only winsim and Windows are held to it.
    if (flags != 0 && conformance::UnderWine()) continue;
    PROCESS_INFORMATION pi = {};
    EXPECT_FALSE(Launch(line, &pi, application, folder, FALSE, flags));
    EXPECT_EQ(GetLastError(), error);
  }

  // An unquoted path with blanks is tried one word at a time.
  WString spaced = scratch.folder(TEXT("two words"));
  WString image = scratch.child_image(spaced + TEXT("\\child.exe"));
  std::string output;
  WString line = spaced + TEXT("\\child.exe --child whoami");
  EXPECT_EQ(conformance::RunCaptured(line, WString(), &output), 0);
  EXPECT_EQ(conformance::Lower(output), conformance::Lower(conformance::Narrow(image)));
  // A program named by the first word wins.
  WString first = scratch.child_image(scratch.root() + TEXT("\\two.exe"));
  EXPECT_EQ(conformance::RunCaptured(line, WString(), &output), 0);
  EXPECT_EQ(conformance::Lower(output), conformance::Lower(conformance::Narrow(first)));

  // The search for a program named without a folder: the caller's own folder, then the current
  // folder, then the system folder, then the Windows folder, then the folders of PATH.
  WString caller = scratch.folder(TEXT("caller"));
  WString current = scratch.folder(TEXT("current"));
  WString listed = scratch.folder(TEXT("listed"));
  WCHAR system_folder[MAX_PATH], windows_folder[MAX_PATH];
  ASSERT_GT(GetSystemDirectoryW(system_folder, MAX_PATH), 0u);
  ASSERT_GT(GetWindowsDirectoryW(windows_folder, MAX_PATH), 0u);

  WString caller_image = scratch.child_image(caller + TEXT("\\caller.exe"));
  const WString in_folders[] = {
      scratch.child_image(caller + TEXT("\\norvane-probe.exe")),
      scratch.child_image(current + TEXT("\\norvane-probe.exe")),
      scratch.child_image(WString(system_folder) + TEXT("\\norvane-probe.exe")),
      scratch.child_image(WString(windows_folder) + TEXT("\\norvane-probe.exe")),
      scratch.child_image(listed + TEXT("\\norvane-probe.exe"))};

  WCHAR saved[4096];
  DWORD saved_length = GetEnvironmentVariableW(TEXT("PATH"), saved, 4096);
  WString path = listed;
  if (saved_length > 0 && saved_length < 4096) path += TEXT(";") + WString(saved, saved_length);
  ASSERT_TRUE(SetEnvironmentVariableW(TEXT("PATH"), path.c_str()));

  // The caller searches for "norvane-probe" and passes on what the probe it found writes: its
  // own module file name. Each probe found is removed for the next search.
  const WString search = ChildCommandLine(TEXT("search"), TEXT("norvane-probe"), caller_image);
  for (const WString &probe : in_folders) {
    EXPECT_GE(conformance::RunCaptured(search, current, &output), 0);
    EXPECT_EQ(conformance::Lower(output), conformance::Lower(conformance::Narrow(probe)));
    DeleteFileW(probe.c_str());
  }
  EXPECT_GE(conformance::RunCaptured(search, current, &output), 0);
  EXPECT_EQ(output, "error 2");

  SetEnvironmentVariableW(TEXT("PATH"), saved_length > 0 && saved_length < 4096 ? saved : nullptr);

  // The child's command line is the one it was given, in both forms.
  line = ChildCommandLine(TEXT("cmdline"), TEXT("  \"a b\"  c\\\"d"));
  EXPECT_EQ(conformance::RunCaptured(line, WString(), &output), 0);
  EXPECT_EQ(output, conformance::Narrow(line) + "|" + conformance::Narrow(line));

  // A child started with an environment block has the block's variables and none of the
  // caller's; the block is wide with CREATE_UNICODE_ENVIRONMENT, else in the code page.
  ASSERT_TRUE(SetEnvironmentVariableW(TEXT("NORVANE_PARENT"), TEXT("parent")));
  const WCHAR wide[] = TEXT("NORVANE_A=wide one\0SystemRoot=C:\\windows\0");
  const char narrow[] = "NORVANE_A=narrow one\0SystemRoot=C:\\windows\0";
  // The block, the creation flags, the variable the child reads and the value it finds.
  const std::tuple<const void *, DWORD, const WCHAR *, const char *> environments[] = {
      {wide, CREATE_UNICODE_ENVIRONMENT, TEXT("norvane_a"), "wide one"},
      {wide, CREATE_UNICODE_ENVIRONMENT, TEXT("NORVANE_PARENT"), "missing"},
      {narrow, 0, TEXT("NORVANE_A"), "narrow one"},
      {nullptr, 0, TEXT("NORVANE_PARENT"), "parent"},
  };
  for (const auto &[block, flags, name, value] : environments) {
    EXPECT_EQ(conformance::RunCaptured(ChildCommandLine(TEXT("getenv"), name), WString(), &output,
                                       block, flags),
              0);
    EXPECT_EQ(output, value) << conformance::Narrow(name);
  }
  SetEnvironmentVariableW(TEXT("NORVANE_PARENT"), nullptr);

  // A process ends with its last thread: a main thread that leaves through ExitThread leaves the
  // process running, and the last thread's code is the process's. A running process reports
  // STILL_ACTIVE until it ends or is terminated, and once ended stays so.
  PROCESS_INFORMATION pi = Start(TEXT("exit"), TEXT("42"));
  EXPECT_NE(pi.dwProcessId, 0u);
  EXPECT_NE(pi.dwThreadId, 0u);
  EXPECT_EQ(Finish(pi), 42u);

  // ExitProcess sets the code too, and the application name is started whatever the command
  // line names.
  EXPECT_EQ(Finish(Start(TEXT("exitprocess"), TEXT("3"))), 3u);
  ASSERT_TRUE(Launch(TEXT("something-else --child exit 9"), &pi, ChildImage().c_str()));
  EXPECT_EQ(Finish(pi), 9u);
  // The narrow form takes its command line as given.
  std::string narrow_line = "\"" + conformance::Narrow(ChildImage()) + "\" --child  exit   12";
  STARTUPINFOA si = {};
  si.cb = sizeof si;
  ASSERT_TRUE(CreateProcessA(nullptr, narrow_line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                             nullptr, &si, &pi));
  EXPECT_EQ(Finish(pi), 12u);

  HANDLE go = CreateEventA(nullptr, TRUE, FALSE, "ConformanceMainExit");
  pi = Start(TEXT("mainexit"), TEXT("ConformanceMainExit"));
  EXPECT_EQ(WaitForSingleObject(pi.hThread, INFINITE), WAIT_OBJECT_0);
  DWORD code = kMarker;
  EXPECT_TRUE(GetExitCodeThread(pi.hThread, &code));
  EXPECT_EQ(code, 1u);
  EXPECT_EQ(WaitForSingleObject(pi.hProcess, 0), WAIT_TIMEOUT);
  EXPECT_TRUE(GetExitCodeProcess(pi.hProcess, &code));
  EXPECT_EQ(code, static_cast<DWORD>(STILL_ACTIVE));
  SetEvent(go);
  EXPECT_EQ(Finish(pi), 5u);
  CloseHandle(go);

  pi = Start(TEXT("hang"));
  EXPECT_TRUE(TerminateProcess(pi.hProcess, 77));
  EXPECT_EQ(WaitForSingleObject(pi.hProcess, INFINITE), WAIT_OBJECT_0);
  const conformance::Outcome terminated = Try([&] { return TerminateProcess(pi.hProcess, 2); });
  // Windows documents that terminating a process that has ended fails with
  // ERROR_ACCESS_DENIED; Wine accepts the call. Either way the exit code stays.
  if (!conformance::UnderWine()) {
    EXPECT_EQ(terminated, Failed(ERROR_ACCESS_DENIED));
  }
  EXPECT_EQ(Finish(pi), 77u);
}

// Each outcome is a text: the bytes read, the count peeked or written, or the error with the
// count the call left ("error 109, 0").
std::string Failure(DWORD count) {
  return "error " + std::to_string(GetLastError()) + ", " + std::to_string(count);
}

std::string Available(HANDLE end) {
  DWORD available = kMarker;
  SetLastError(kMarker);
  if (!PeekNamedPipe(end, nullptr, 0, nullptr, &available, nullptr)) return Failure(0);
  return std::to_string(available);
}

std::string Read(HANDLE end, DWORD size) {
  std::string buffer(size, '\0');
  DWORD got = kMarker;
  SetLastError(kMarker);
  if (!ReadFile(end, buffer.data(), size, &got, nullptr)) return Failure(got);
  return buffer.substr(0, got);
}

std::string Write(HANDLE end, const std::string &data) {
  DWORD written = kMarker;
  SetLastError(kMarker);
  if (!WriteFile(end, data.data(), static_cast<DWORD>(data.size()), &written, nullptr))
    return Failure(written);
  return std::to_string(written);
}

class Pipes : public conformance::Fixture {
 protected:
  void Open(DWORD size = 0, SECURITY_ATTRIBUTES *attributes = nullptr) {
    ASSERT_TRUE(CreatePipe(&read_end, &write_end, attributes, size));
  }
  void TearDown() override {
    Close(write_end);
    Close(read_end);
  }
  static void Close(HANDLE &end) {
    if (end != nullptr) CloseHandle(end);
    end = nullptr;
  }

  HANDLE read_end = nullptr;
  HANDLE write_end = nullptr;
};

struct PendingWrite {
  HANDLE pipe;
  DWORD size;
  DWORD written;
};

// Writes `size` bytes; the exit code is 0 or the write's error.
DWORD WINAPI WriteBlock(LPVOID parameter) {
  static const std::string block(100000, 'b');
  auto *write = static_cast<PendingWrite *>(parameter);
  write->written = kMarker;
  return WriteFile(write->pipe, block.data(), write->size, &write->written, nullptr)
             ? 0
             : GetLastError();
}

TEST_F(Pipes, PeekingLeavesTheBytesWritesWaitForRoomAndTheLastWritersCloseBreaksThePipe) {
  Open();
  EXPECT_EQ(Write(write_end, "hello"), "5");
  char buffer[16] = {};
  DWORD peeked = kMarker, available = kMarker;
  EXPECT_TRUE(PeekNamedPipe(read_end, buffer, 3, &peeked, &available, nullptr));
  EXPECT_EQ(peeked, 3u);
  EXPECT_EQ(available, 5u);
  EXPECT_EQ(std::string(buffer, 3), "hel");
  EXPECT_EQ(Read(read_end, 2), "he");
  EXPECT_EQ(Available(read_end), "3");
  EXPECT_EQ(Read(read_end, 16), "llo");
  // A zero-byte write succeeds and adds nothing.
  EXPECT_EQ(Write(write_end, ""), "0");
  EXPECT_EQ(Available(read_end), "0");

  // The pipe breaks only when the last write handle closes; data left then can still be read.
  HANDLE copy = nullptr;
  ASSERT_TRUE(DuplicateHandle(GetCurrentProcess(), write_end, GetCurrentProcess(), &copy, 0, FALSE,
                              DUPLICATE_SAME_ACCESS));
  Close(write_end);
  EXPECT_EQ(Available(read_end), "0");
  EXPECT_EQ(Write(copy, "tail"), "4");
  Close(copy);
  EXPECT_EQ(Available(read_end), "4");
  EXPECT_EQ(Read(read_end, 8), "tail");
  EXPECT_EQ(Read(read_end, 8), "error 109, 0");  // ERROR_BROKEN_PIPE
  EXPECT_EQ(Available(read_end), "error 109, 0");

  // The write end cannot be read nor the read end written, and without a reader writes fail. A
  // pipe answers neither the console mode query nor a wide console write, which zeroes the
  // count written and writes nothing.
  Close(read_end);
  Open();
  EXPECT_EQ(Read(write_end, 4), "error 5, 0");  // ERROR_ACCESS_DENIED
  EXPECT_EQ(Write(read_end, "x").substr(0, 8), "error 5,");
  EXPECT_EQ(Available(write_end), "error 5, 0");
  DWORD mode = kMarker, written = kMarker;
  EXPECT_EQ(Try([&] { return GetConsoleMode(write_end, &mode); }), Failed(ERROR_INVALID_HANDLE));
  EXPECT_EQ(Try([&] { return WriteConsoleW(write_end, TEXT("text"), 4, &written, nullptr); }),
            Failed(ERROR_INVALID_HANDLE));
  EXPECT_EQ(written, 0u);
  EXPECT_EQ(Available(read_end), "0");
  Close(read_end);
  EXPECT_EQ(Write(write_end, "x"), "error 232, 0");  // ERROR_NO_DATA

  // A write larger than the buffer is readable at once and ends when the rest fits; one that fits
  // ends at once; a waiting write fails with a broken pipe when the reader closes.
  Close(write_end);
  Open(4096);
  PendingWrite write = {write_end, 10000, 0};
  HANDLE thread = CreateThread(nullptr, 0, WriteBlock, &write, 0, nullptr);
  EXPECT_EQ(WaitForSingleObject(thread, 100), WAIT_TIMEOUT);
  EXPECT_EQ(Available(read_end), "10000");
  EXPECT_EQ(Read(read_end, 5000).size(), 5000u);
  EXPECT_EQ(WaitForSingleObject(thread, 100), WAIT_TIMEOUT);  // 5000 left, more than the buffer
  EXPECT_EQ(Read(read_end, 904).size(), 904u);
  EXPECT_EQ(conformance::JoinThread(thread), 0u);  // 4096 left: it fits
  EXPECT_EQ(write.written, 10000u);
  EXPECT_EQ(Read(read_end, 8192).size(), 4096u);

  PendingWrite first = {write_end, 3000, 0};
  EXPECT_EQ(conformance::JoinThread(CreateThread(nullptr, 0, WriteBlock, &first, 0, nullptr)), 0u);
  EXPECT_EQ(first.written, 3000u);
  PendingWrite second = {write_end, 3000, 0};
  thread = CreateThread(nullptr, 0, WriteBlock, &second, 0, nullptr);
  EXPECT_EQ(WaitForSingleObject(thread, 100), WAIT_TIMEOUT);
  EXPECT_EQ(Read(read_end, 8192).size(), 6000u);
  EXPECT_EQ(conformance::JoinThread(thread), 0u);
  EXPECT_EQ(second.written, 3000u);

  thread = CreateThread(nullptr, 0, WriteBlock, &write, 0, nullptr);
  EXPECT_EQ(WaitForSingleObject(thread, 100), WAIT_TIMEOUT);
  Close(read_end);
  EXPECT_EQ(conformance::JoinThread(thread), static_cast<DWORD>(ERROR_BROKEN_PIPE));
  EXPECT_EQ(write.written, 0u);
}

TEST_F(Pipes, AnInheritedWriteEndKeepsThePipeOpenUntilTheChildEndsAndCarriesItsOutput) {
  SECURITY_ATTRIBUTES inheritable = {sizeof inheritable, nullptr, TRUE};
  Open(0, &inheritable);
  ASSERT_TRUE(SetHandleInformation(read_end, HANDLE_FLAG_INHERIT, 0));
  DWORD flags = kMarker;
  EXPECT_TRUE(GetHandleInformation(write_end, &flags));
  EXPECT_EQ(flags & HANDLE_FLAG_INHERIT, static_cast<DWORD>(HANDLE_FLAG_INHERIT));

  // The child gets the write end by inheritance only, not as a standard handle.
  WString value = conformance::Widen(std::to_string(reinterpret_cast<ULONG_PTR>(write_end)));
  WString line = ChildCommandLine(TEXT("write"), value + TEXT(" \"from the child\""));
  PROCESS_INFORMATION pi = {};
  ASSERT_TRUE(Launch(line, &pi, nullptr, nullptr, TRUE));
  Close(write_end);
  EXPECT_EQ(conformance::ReadToEnd(read_end), "from the child");
  EXPECT_EQ(Finish(pi), 0u);

  // What the child writes with the C runtime's printf is captured too.
  std::string output;
  EXPECT_EQ(conformance::RunCaptured(ChildCommandLine(TEXT("printf"), TEXT("\"captured text\"")),
                                     WString(), &output),
            0);
  EXPECT_EQ(output, "captured text");
}

}  // namespace
