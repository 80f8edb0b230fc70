// Anonymous pipes: reads, peeks, the broken pipe once every write end is closed, and pipes
// handed to a child process as its standard output.
#include "Conformance.h"

namespace {

using conformance::kMarker;

class Pipes : public conformance::Fixture {};

TEST_F(Pipes, PeekingShowsTheBytesWithoutTakingThem) {
  HANDLE read_end = nullptr, write_end = nullptr;
  SetLastError(kMarker);
  ASSERT_TRUE(CreatePipe(&read_end, &write_end, nullptr, 0));
  DWORD written = 0;
  ASSERT_TRUE(WriteFile(write_end, "hello", 5, &written, nullptr));
  EXPECT_EQ(written, 5u);

  char buffer[16] = {};
  DWORD peeked = kMarker, available = kMarker;
  EXPECT_TRUE(PeekNamedPipe(read_end, buffer, 3, &peeked, &available, nullptr));
  EXPECT_EQ(peeked, 3u);
  EXPECT_EQ(available, 5u);
  EXPECT_EQ(std::string(buffer, 3), "hel");
  available = kMarker;
  EXPECT_TRUE(PeekNamedPipe(read_end, nullptr, 0, nullptr, &available, nullptr));
  EXPECT_EQ(available, 5u);

  DWORD got = 0;
  EXPECT_TRUE(ReadFile(read_end, buffer, 2, &got, nullptr));
  EXPECT_EQ(std::string(buffer, got), "he");
  EXPECT_TRUE(PeekNamedPipe(read_end, nullptr, 0, nullptr, &available, nullptr));
  EXPECT_EQ(available, 3u);
  EXPECT_TRUE(ReadFile(read_end, buffer, sizeof buffer, &got, nullptr));
  EXPECT_EQ(std::string(buffer, got), "llo");
  EXPECT_TRUE(PeekNamedPipe(read_end, nullptr, 0, nullptr, &available, nullptr));
  EXPECT_EQ(available, 0u);
  CloseHandle(write_end);
  CloseHandle(read_end);
}

TEST_F(Pipes, DataLeftWhenTheWriterClosesCanStillBeReadThenThePipeIsBroken) {
  HANDLE read_end = nullptr, write_end = nullptr;
  ASSERT_TRUE(CreatePipe(&read_end, &write_end, nullptr, 0));
  DWORD written = 0;
  WriteFile(write_end, "tail", 4, &written, nullptr);
  CloseHandle(write_end);

  DWORD available = kMarker;
  EXPECT_TRUE(PeekNamedPipe(read_end, nullptr, 0, nullptr, &available, nullptr));
  EXPECT_EQ(available, 4u);
  char buffer[8];
  DWORD got = 0;
  EXPECT_TRUE(ReadFile(read_end, buffer, sizeof buffer, &got, nullptr));
  EXPECT_EQ(std::string(buffer, got), "tail");

  got = kMarker;
  SetLastError(kMarker);
  EXPECT_FALSE(ReadFile(read_end, buffer, sizeof buffer, &got, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_BROKEN_PIPE));
  EXPECT_EQ(got, 0u);
  SetLastError(kMarker);
  EXPECT_FALSE(PeekNamedPipe(read_end, nullptr, 0, nullptr, &available, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_BROKEN_PIPE));
  CloseHandle(read_end);
}

TEST_F(Pipes, ThePipeBreaksOnlyWhenTheLastWriteHandleCloses) {
  HANDLE read_end = nullptr, write_end = nullptr;
  ASSERT_TRUE(CreatePipe(&read_end, &write_end, nullptr, 0));
  HANDLE copy = nullptr;
  ASSERT_TRUE(DuplicateHandle(GetCurrentProcess(), write_end, GetCurrentProcess(), &copy, 0, FALSE,
                              DUPLICATE_SAME_ACCESS));
  CloseHandle(write_end);
  DWORD available = kMarker;
  EXPECT_TRUE(PeekNamedPipe(read_end, nullptr, 0, nullptr, &available, nullptr));
  EXPECT_EQ(available, 0u);
  DWORD written = 0;
  EXPECT_TRUE(WriteFile(copy, "x", 1, &written, nullptr));
  CloseHandle(copy);
  char buffer[4];
  DWORD got = 0;
  EXPECT_TRUE(ReadFile(read_end, buffer, sizeof buffer, &got, nullptr));
  EXPECT_EQ(got, 1u);
  SetLastError(kMarker);
  EXPECT_FALSE(ReadFile(read_end, buffer, sizeof buffer, &got, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_BROKEN_PIPE));
  CloseHandle(read_end);
}

TEST_F(Pipes, TheWriteEndCannotBeReadNorTheReadEndWritten) {
  HANDLE read_end = nullptr, write_end = nullptr;
  ASSERT_TRUE(CreatePipe(&read_end, &write_end, nullptr, 0));
  char buffer[4];
  DWORD count = kMarker;
  SetLastError(kMarker);
  EXPECT_FALSE(ReadFile(write_end, buffer, sizeof buffer, &count, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_EQ(count, 0u);
  SetLastError(kMarker);
  EXPECT_FALSE(WriteFile(read_end, "x", 1, &count, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  DWORD available = kMarker;
  SetLastError(kMarker);
  BOOL peeked = PeekNamedPipe(write_end, nullptr, 0, nullptr, &available, nullptr);
  EXPECT_FALSE(peeked);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  CloseHandle(write_end);
  CloseHandle(read_end);
}

TEST_F(Pipes, AZeroByteWriteSucceedsAndAddsNothing) {
  HANDLE read_end = nullptr, write_end = nullptr;
  ASSERT_TRUE(CreatePipe(&read_end, &write_end, nullptr, 0));
  DWORD written = kMarker;
  EXPECT_TRUE(WriteFile(write_end, "", 0, &written, nullptr));
  EXPECT_EQ(written, 0u);
  DWORD available = kMarker;
  EXPECT_TRUE(PeekNamedPipe(read_end, nullptr, 0, nullptr, &available, nullptr));
  EXPECT_EQ(available, 0u);
  CloseHandle(write_end);
  CloseHandle(read_end);
}

TEST_F(Pipes, WritingWhenNoReaderIsLeftFails) {
  HANDLE read_end = nullptr, write_end = nullptr;
  ASSERT_TRUE(CreatePipe(&read_end, &write_end, nullptr, 0));
  CloseHandle(read_end);
  DWORD written = kMarker;
  SetLastError(kMarker);
  EXPECT_FALSE(WriteFile(write_end, "x", 1, &written, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_DATA));
  EXPECT_EQ(written, 0u);
  CloseHandle(write_end);
}

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

DWORD Drain(HANDLE read_end, DWORD size) {
  std::string buffer(size, '\0');
  DWORD got = 0;
  ReadFile(read_end, buffer.data(), size, &got, nullptr);
  return got;
}

TEST_F(Pipes, AWriteLargerThanTheBufferIsReadableAtOnceAndEndsWhenTheRestFits) {
  HANDLE read_end = nullptr, write_end = nullptr;
  ASSERT_TRUE(CreatePipe(&read_end, &write_end, nullptr, 4096));
  PendingWrite write = {write_end, 10000, 0};
  HANDLE thread = CreateThread(nullptr, 0, WriteBlock, &write, 0, nullptr);
  EXPECT_EQ(WaitForSingleObject(thread, 100), WAIT_TIMEOUT);
  DWORD available = kMarker;
  EXPECT_TRUE(PeekNamedPipe(read_end, nullptr, 0, nullptr, &available, nullptr));
  EXPECT_EQ(available, 10000u);

  EXPECT_EQ(Drain(read_end, 5000), 5000u);
  EXPECT_EQ(WaitForSingleObject(thread, 100), WAIT_TIMEOUT);  // 5000 left, more than the buffer
  EXPECT_EQ(Drain(read_end, 904), 904u);
  EXPECT_EQ(WaitForSingleObject(thread, INFINITE), WAIT_OBJECT_0);  // 4096 left: it fits
  DWORD code = kMarker;
  GetExitCodeThread(thread, &code);
  EXPECT_EQ(code, 0u);
  EXPECT_EQ(write.written, 10000u);
  EXPECT_TRUE(PeekNamedPipe(read_end, nullptr, 0, nullptr, &available, nullptr));
  EXPECT_EQ(available, 4096u);
  EXPECT_EQ(Drain(read_end, 8192), 4096u);
  CloseHandle(thread);
  CloseHandle(write_end);
  CloseHandle(read_end);
}

TEST_F(Pipes, AWriteThatFitsTheBufferEndsAtOnce) {
  HANDLE read_end = nullptr, write_end = nullptr;
  ASSERT_TRUE(CreatePipe(&read_end, &write_end, nullptr, 4096));
  PendingWrite first = {write_end, 3000, 0};
  HANDLE thread = CreateThread(nullptr, 0, WriteBlock, &first, 0, nullptr);
  EXPECT_EQ(WaitForSingleObject(thread, INFINITE), WAIT_OBJECT_0);
  EXPECT_EQ(first.written, 3000u);
  CloseHandle(thread);
  PendingWrite second = {write_end, 3000, 0};
  thread = CreateThread(nullptr, 0, WriteBlock, &second, 0, nullptr);
  EXPECT_EQ(WaitForSingleObject(thread, 100), WAIT_TIMEOUT);
  EXPECT_EQ(Drain(read_end, 8192), 6000u);
  EXPECT_EQ(WaitForSingleObject(thread, INFINITE), WAIT_OBJECT_0);
  EXPECT_EQ(second.written, 3000u);
  CloseHandle(thread);
  CloseHandle(write_end);
  CloseHandle(read_end);
}

TEST_F(Pipes, AWaitingWriteFailsWithABrokenPipeWhenTheReaderCloses) {
  HANDLE read_end = nullptr, write_end = nullptr;
  ASSERT_TRUE(CreatePipe(&read_end, &write_end, nullptr, 4096));
  PendingWrite write = {write_end, 10000, 0};
  HANDLE thread = CreateThread(nullptr, 0, WriteBlock, &write, 0, nullptr);
  EXPECT_EQ(WaitForSingleObject(thread, 100), WAIT_TIMEOUT);
  CloseHandle(read_end);
  EXPECT_EQ(WaitForSingleObject(thread, INFINITE), WAIT_OBJECT_0);
  DWORD code = kMarker;
  GetExitCodeThread(thread, &code);
  EXPECT_EQ(code, static_cast<DWORD>(ERROR_BROKEN_PIPE));
  EXPECT_EQ(write.written, 0u);
  CloseHandle(thread);
  CloseHandle(write_end);
}

TEST_F(Pipes, AChildsStandardOutputIsCapturedThroughAnInheritedPipe) {
  std::string output;
  EXPECT_EQ(conformance::RunCaptured(
                conformance::ChildCommandLine(conformance::ChildImage(), TEXT("print"),
                                              TEXT("\"captured text\"")),
                conformance::WString(), &output),
            0);
  EXPECT_EQ(output, "captured text");
  EXPECT_EQ(conformance::RunCaptured(conformance::ChildCommandLine(conformance::ChildImage(),
                                                                   TEXT("printf"), TEXT("ok")),
                                     conformance::WString(), &output),
            0);
  EXPECT_EQ(output, "ok");
}

TEST_F(Pipes, AnInheritedWriteEndKeepsThePipeOpenUntilTheChildEnds) {
  SECURITY_ATTRIBUTES inheritable = {sizeof inheritable, nullptr, TRUE};
  HANDLE read_end = nullptr, write_end = nullptr;
  ASSERT_TRUE(CreatePipe(&read_end, &write_end, &inheritable, 0));
  ASSERT_TRUE(SetHandleInformation(read_end, HANDLE_FLAG_INHERIT, 0));
  DWORD flags = kMarker;
  EXPECT_TRUE(GetHandleInformation(write_end, &flags));
  EXPECT_EQ(flags & HANDLE_FLAG_INHERIT, static_cast<DWORD>(HANDLE_FLAG_INHERIT));

  // The child gets the write end by inheritance only, not as a standard handle.
  conformance::WString value =
      conformance::Widen(std::to_string(reinterpret_cast<ULONG_PTR>(write_end)));
  conformance::WString line = conformance::ChildCommandLine(
      conformance::ChildImage(), TEXT("write"), value + TEXT(" \"from the child\""));
  STARTUPINFOW si = {};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi = {};
  ASSERT_TRUE(
      CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi));
  CloseHandle(write_end);
  EXPECT_EQ(conformance::ReadToEnd(read_end), "from the child");
  SetLastError(kMarker);
  char buffer[4];
  DWORD got = 0;
  EXPECT_FALSE(ReadFile(read_end, buffer, sizeof buffer, &got, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_BROKEN_PIPE));
  EXPECT_EQ(WaitForSingleObject(pi.hProcess, INFINITE), WAIT_OBJECT_0);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  CloseHandle(read_end);
}

}  // namespace
