// Anonymous pipes: reads, peeks, the broken pipe once every write end is closed, pipes handed to
// a child process as its standard output, and a pipe is no console.
#include <string>

#include "Conformance.h"

namespace {

using conformance::kMarker;

// Each outcome is a text: the bytes read, the count peeked or written, or the error with the
// count the call left ("error 109, 0").
std::string Failed(DWORD count) {
  return "error " + std::to_string(GetLastError()) + ", " + std::to_string(count);
}

std::string Available(HANDLE end) {
  DWORD available = kMarker;
  SetLastError(kMarker);
  if (!PeekNamedPipe(end, nullptr, 0, nullptr, &available, nullptr)) return Failed(0);
  return std::to_string(available);
}

std::string Read(HANDLE end, DWORD size) {
  std::string buffer(size, '\0');
  DWORD got = kMarker;
  SetLastError(kMarker);
  if (!ReadFile(end, buffer.data(), size, &got, nullptr)) return Failed(got);
  return buffer.substr(0, got);
}

std::string Write(HANDLE end, const std::string &data) {
  DWORD written = kMarker;
  SetLastError(kMarker);
  if (!WriteFile(end, data.data(), static_cast<DWORD>(data.size()), &written, nullptr))
    return Failed(written);
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

TEST_F(Pipes, PeekingShowsTheBytesWithoutTakingThemAndTheLastWritersCloseBreaksThePipe) {
  Open();
  EXPECT_EQ(Write(write_end, "hello"), "5");
  char buffer[16] = {};
  DWORD peeked = kMarker, available = kMarker;
  EXPECT_TRUE(PeekNamedPipe(read_end, buffer, 3, &peeked, &available, nullptr));
  EXPECT_EQ(peeked, 3u);
  EXPECT_EQ(available, 5u);
  EXPECT_EQ(std::string(buffer, 3), "hel");
  EXPECT_EQ(Available(read_end), "5");
  EXPECT_EQ(Read(read_end, 2), "he");
  EXPECT_EQ(Available(read_end), "3");
  EXPECT_EQ(Read(read_end, 16), "llo");
  EXPECT_EQ(Available(read_end), "0");
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
}

// The pipe breaks only when the last write handle closes; data left then can still be read.

// The write end cannot be read nor the read end written, and without a reader writes fail. A pipe
// answers neither the console mode query nor a wide console write, which zeroes the count
// written and writes nothing.
TEST_F(Pipes, EachEndRefusesTheOtherEndsCallsAndAPipeIsNoConsole) {
  Open();
  EXPECT_EQ(Read(write_end, 4), "error 5, 0");  // ERROR_ACCESS_DENIED
  EXPECT_EQ(Write(read_end, "x").substr(0, 8), "error 5,");
  EXPECT_EQ(Available(write_end), "error 5, 0");
  DWORD mode = kMarker;
  SetLastError(kMarker);
  EXPECT_FALSE(GetConsoleMode(write_end, &mode));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  DWORD written = kMarker;
  SetLastError(kMarker);
  EXPECT_FALSE(WriteConsoleW(write_end, TEXT("text"), 4, &written, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  EXPECT_EQ(written, 0u);
  EXPECT_EQ(Available(read_end), "0");
  Close(read_end);
  EXPECT_EQ(Write(write_end, "x"), "error 232, 0");  // ERROR_NO_DATA
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

// A write larger than the buffer is readable at once and ends when the rest fits; one that fits
// ends at once; a waiting write fails with a broken pipe when the reader closes.
TEST_F(Pipes, AWriteWaitsWhileMoreThanTheBufferIsLeftOrTheReaderCloses) {
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
  EXPECT_EQ(Available(read_end), "4096");
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

// What the child writes with the C runtime's printf is captured (WriteFile's output is, in the
// process tests).
TEST_F(Pipes, AChildsStandardOutputIsCapturedThroughAnInheritedPipe) {
  std::string output;
  EXPECT_EQ(conformance::RunCaptured(
                conformance::ChildCommandLine(conformance::ChildImage(), TEXT("printf"),
                                              TEXT("\"captured text\"")),
                conformance::WString(), &output),
            0);
  EXPECT_EQ(output, "captured text");
}

TEST_F(Pipes, AnInheritedWriteEndKeepsThePipeOpenUntilTheChildEnds) {
  SECURITY_ATTRIBUTES inheritable = {sizeof inheritable, nullptr, TRUE};
  Open(0, &inheritable);
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
  Close(write_end);
  EXPECT_EQ(conformance::ReadToEnd(read_end), "from the child");
  EXPECT_EQ(Read(read_end, 4), "error 109, 0");
  EXPECT_EQ(WaitForSingleObject(pi.hProcess, INFINITE), WAIT_OBJECT_0);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
}

}  // namespace
