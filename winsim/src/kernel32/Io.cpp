// ReadFile, WriteFile, pipes, standard handles and the console.
#include "kernel32/Io.h"

#include <algorithm>
#include <cstring>
#include <initializer_list>

#include "kernel32/ConsoleObject.h"
#include "kernel32/FileObject.h"
#include "kernel32/PipeObject.h"
#include "winsim/FileSystem.h"
#include "winsim/Text.h"
#include "winsim/win32.h"

namespace winsim {
namespace {

unsigned g_pipe_serial = 0;

void console_write(Call &call, Process &process, std::string_view bytes) {
  process.console.append(bytes);
  Trace::Record r;
  r["text"] = to_utf8(bytes, call.world.acp());
  call.world.record("stdout", std::move(r));
}

// Wide text shown by the console as it is; the process's console output keeps it in the code
// page's bytes like everything else written there.
void console_write_text(Call &call, Process &process, std::u16string_view text) {
  std::string utf8 = utf16_to_utf8(text);
  process.console.append(from_utf8(utf8, call.world.acp()));
  Trace::Record r;
  r["text"] = utf8;
  call.world.record("stdout", std::move(r));
}

// Writes `bytes` into the pipe. The reader sees all of them at once; the write itself ends
// when what the pipe holds fits its buffer again, so a writer ahead of its reader by more than
// the buffer waits for the reader. Fails with ERROR_NO_DATA when the readers are gone, and
// with ERROR_BROKEN_PIPE (nothing written) when they go while the write waits.
bool pipe_write(Call &call, const std::shared_ptr<PipeEndObject> &end, const std::uint8_t *data,
                DWORD size, DWORD *written, DWORD *error) {
  Pipe &pipe = *end->pipe;
  *written = 0;
  if (pipe.read_closed) {
    *error = ERROR_NO_DATA;
    return false;
  }
  pipe.buffer.insert(pipe.buffer.end(), data, data + size);
  if (auto reader = pipe.read_end.lock()) call.world.signal(*reader);
  while (pipe.buffer.size() > pipe.capacity) {
    if (pipe.read_closed) {
      *error = ERROR_BROKEN_PIPE;
      return false;
    }
    std::shared_ptr<Object> self = end;
    wait_objects(call, {self}, false, INFINITE, "WriteFile(" + end->describe() + ", full)");
  }
  *written = size;
  return true;
}

bool pipe_read(Call &call, const std::shared_ptr<PipeEndObject> &end, std::uint8_t *data,
               DWORD size, DWORD *read, DWORD *error) {
  Pipe &pipe = *end->pipe;
  *read = 0;
  if (pipe.buffer.empty() && !pipe.write_closed) {
    std::shared_ptr<Object> self = end;
    wait_objects(call, {self}, false, INFINITE, "ReadFile(" + end->describe() + ")");
  }
  if (pipe.buffer.empty()) {
    *error = ERROR_BROKEN_PIPE;
    return false;
  }
  DWORD n = std::min<DWORD>(size, static_cast<DWORD>(pipe.buffer.size()));
  std::copy_n(pipe.buffer.begin(), n, data);
  pipe.buffer.erase(pipe.buffer.begin(), pipe.buffer.begin() + n);
  *read = n;
  if (auto writer = pipe.write_end.lock()) call.world.signal(*writer);
  return true;
}

}  // namespace

void PipeEndObject::last_handle_closed() {
  if (writer) {
    pipe->write_closed = true;
    if (auto reader = pipe->read_end.lock()) world.signal(*reader);
  } else {
    pipe->read_closed = true;
    if (auto w = pipe->write_end.lock()) world.signal(*w);
  }
}

void write_std(Call &call, int which, std::string_view bytes) {
  HANDLE h = call.process.std_handles[which];
  auto object = call.process.handles.get(h);
  if (!object) return;
  if (object->type() == ObjectType::Console) {
    console_write(call, call.process, bytes);
  } else if (object->type() == ObjectType::PipeEnd) {
    auto end = std::static_pointer_cast<PipeEndObject>(object);
    DWORD written = 0, error = 0;
    if (end->writer)
      pipe_write(call, end, reinterpret_cast<const std::uint8_t *>(bytes.data()),
                 static_cast<DWORD>(bytes.size()), &written, &error);
  }
}

}  // namespace winsim

using winsim::Call;
using winsim::ObjectType;

namespace {

// What ReadFile and WriteFile take: winsim's files, devices, pipes and the console.
constexpr std::initializer_list<ObjectType> kFileLike = {ObjectType::PipeEnd, ObjectType::File,
                                                         ObjectType::Device, ObjectType::Console};
constexpr const char *kFileHandle = "a file, device, pipe or console handle";

// Whether the handle is a console. A handle that is no console (a pipe, a file, the null of a
// missing standard handle) is the documented way to learn that output is redirected, and a
// plain error; a handle that is not open at all is a fault of the program.
bool console_of(Call &call, HANDLE handle) {
  if (handle == nullptr) return false;
  auto object = winsim::object_of(call, handle);
  if (!object) winsim::handle_misuse(call, handle, nullptr, "a console handle");
  return object->type() == ObjectType::Console;
}

// ReadFile and WriteFile write their count through the pointer unless the call is overlapped
// (which winsim does not simulate): without one, Windows writes through a null pointer.
void check_count_pointer(Call &call, const DWORD *count) {
  if (count == nullptr) call.program_fault("with no pointer for its count of bytes");
}

}  // namespace

BOOL WINAPI CreatePipe(PHANDLE hReadPipe, PHANDLE hWritePipe,
                       LPSECURITY_ATTRIBUTES lpPipeAttributes, DWORD nSize) {
  Call call("CreatePipe");
  if (auto e = call.fault({}, ERROR_NOT_ENOUGH_MEMORY)) return call.fail(*e);
  auto pipe = std::make_shared<winsim::Pipe>();
  pipe->capacity = nSize == 0 ? 4096 : nSize;
  pipe->serial = ++winsim::g_pipe_serial;
  auto read_end = std::make_shared<winsim::PipeEndObject>(call.world, pipe, false);
  auto write_end = std::make_shared<winsim::PipeEndObject>(call.world, pipe, true);
  pipe->read_end = read_end;
  pipe->write_end = write_end;
  bool inherit = lpPipeAttributes != nullptr && lpPipeAttributes->bInheritHandle;
  *hReadPipe = call.process.handles.insert(read_end, GENERIC_READ | SYNCHRONIZE, inherit);
  *hWritePipe = call.process.handles.insert(write_end, GENERIC_WRITE | SYNCHRONIZE, inherit);
  return TRUE;
}

BOOL WINAPI PeekNamedPipe(HANDLE hNamedPipe, LPVOID lpBuffer, DWORD nBufferSize,
                          LPDWORD lpBytesRead, LPDWORD lpTotalBytesAvail,
                          LPDWORD lpBytesLeftThisMessage) {
  Call call("PeekNamedPipe");
  if (auto e = call.fault({}, ERROR_INVALID_HANDLE)) return call.fail(*e);
  auto end = winsim::checked_as<winsim::PipeEndObject>(call, hNamedPipe, ObjectType::PipeEnd,
                                                       "a pipe handle");
  winsim::Pipe &pipe = *end->pipe;
  if (end->writer) return call.fail(ERROR_ACCESS_DENIED);
  if (pipe.buffer.empty() && pipe.write_closed) return call.fail(ERROR_BROKEN_PIPE);
  DWORD avail = static_cast<DWORD>(pipe.buffer.size());
  DWORD copied = 0;
  if (lpBuffer != nullptr) {
    copied = std::min(avail, nBufferSize);
    std::copy_n(pipe.buffer.begin(), copied, static_cast<std::uint8_t *>(lpBuffer));
  }
  if (lpBytesRead != nullptr) *lpBytesRead = copied;
  if (lpTotalBytesAvail != nullptr) *lpTotalBytesAvail = avail;
  if (lpBytesLeftThisMessage != nullptr) *lpBytesLeftThisMessage = 0;
  return TRUE;
}

BOOL WINAPI ReadFile(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead,
                     LPDWORD lpNumberOfBytesRead, LPOVERLAPPED lpOverlapped) {
  Call call("ReadFile");
  if (lpNumberOfBytesRead != nullptr) *lpNumberOfBytesRead = 0;
  if (auto e = call.fault({}, ERROR_INVALID_HANDLE)) return call.fail(*e);
  if (lpOverlapped != nullptr) call.not_simulated("with an OVERLAPPED structure");
  auto object = winsim::checked_object(call, hFile, kFileLike, kFileHandle);
  check_count_pointer(call, lpNumberOfBytesRead);
  // No buffer to read into: the system cannot reach the memory.
  if (lpBuffer == nullptr && nNumberOfBytesToRead != 0) return call.fail(ERROR_NOACCESS);
  auto *out = static_cast<std::uint8_t *>(lpBuffer);
  DWORD done = 0, error = 0;
  bool ok = false;
  switch (object->type()) {
    case ObjectType::PipeEnd: {
      auto end = std::static_pointer_cast<winsim::PipeEndObject>(object);
      if (end->writer) return call.fail(ERROR_ACCESS_DENIED);
      ok = winsim::pipe_read(call, end, out, nNumberOfBytesToRead, &done, &error);
      break;
    }
    case ObjectType::File: {
      auto file = std::static_pointer_cast<winsim::FileObject>(object);
      if (!(file->access & GENERIC_READ)) return call.fail(ERROR_ACCESS_DENIED);
      const winsim::FileNode *node = call.world.files().find(file->path);
      if (node == nullptr) return call.fail(ERROR_FILE_NOT_FOUND);
      std::uint64_t size = node->data.size();
      std::uint64_t start = std::min<std::uint64_t>(file->position, size);
      done = static_cast<DWORD>(std::min<std::uint64_t>(nNumberOfBytesToRead, size - start));
      if (done > 0) std::memcpy(out, node->data.data() + start, done);
      file->position = start + done;
      ok = true;
      break;
    }
    case ObjectType::Device: {
      auto device = std::static_pointer_cast<winsim::DeviceObject>(object);
      std::uint32_t n = 0;
      error = device->device->read(out, nNumberOfBytesToRead, &n);
      done = n;
      ok = error == 0;
      break;
    }
    default:
      call.not_simulated("on " + object->describe());
  }
  if (lpNumberOfBytesRead != nullptr) *lpNumberOfBytesRead = done;
  return ok ? TRUE : call.fail(error);
}

BOOL WINAPI WriteFile(HANDLE hFile, LPCVOID lpBuffer, DWORD nNumberOfBytesToWrite,
                      LPDWORD lpNumberOfBytesWritten, LPOVERLAPPED lpOverlapped) {
  Call call("WriteFile");
  if (lpNumberOfBytesWritten != nullptr) *lpNumberOfBytesWritten = 0;
  if (auto e = call.fault({}, ERROR_INVALID_HANDLE)) return call.fail(*e);
  if (lpOverlapped != nullptr) call.not_simulated("with an OVERLAPPED structure");
  auto object = winsim::checked_object(call, hFile, kFileLike, kFileHandle);
  check_count_pointer(call, lpNumberOfBytesWritten);
  // No buffer to write from: Windows refuses it as an invalid user buffer.
  if (lpBuffer == nullptr && nNumberOfBytesToWrite != 0)
    return call.fail(ERROR_INVALID_USER_BUFFER);
  const auto *in = static_cast<const std::uint8_t *>(lpBuffer);
  DWORD done = 0, error = 0;
  bool ok = false;
  switch (object->type()) {
    case ObjectType::PipeEnd: {
      auto end = std::static_pointer_cast<winsim::PipeEndObject>(object);
      if (!end->writer) return call.fail(ERROR_ACCESS_DENIED);
      ok = winsim::pipe_write(call, end, in, nNumberOfBytesToWrite, &done, &error);
      break;
    }
    case ObjectType::Console:
      winsim::console_write(
          call, call.process,
          std::string_view(reinterpret_cast<const char *>(in), nNumberOfBytesToWrite));
      done = nNumberOfBytesToWrite;
      ok = true;
      break;
    case ObjectType::File: {
      auto file = std::static_pointer_cast<winsim::FileObject>(object);
      if (!(file->access & GENERIC_WRITE)) return call.fail(ERROR_ACCESS_DENIED);
      winsim::FileNode *node = call.world.files().find(file->path);
      if (node == nullptr) return call.fail(ERROR_FILE_NOT_FOUND);
      if (node->data.size() < file->position + nNumberOfBytesToWrite)
        node->data.resize(file->position + nNumberOfBytesToWrite);
      if (nNumberOfBytesToWrite > 0)
        std::memcpy(node->data.data() + file->position, in, nNumberOfBytesToWrite);
      file->position += nNumberOfBytesToWrite;
      done = nNumberOfBytesToWrite;
      ok = true;
      break;
    }
    case ObjectType::Device: {
      auto device = std::static_pointer_cast<winsim::DeviceObject>(object);
      std::uint32_t n = 0;
      error = device->device->write(in, nNumberOfBytesToWrite, &n);
      done = n;
      ok = error == 0;
      break;
    }
    default:
      call.not_simulated("on " + object->describe());
  }
  if (lpNumberOfBytesWritten != nullptr) *lpNumberOfBytesWritten = done;
  return ok ? TRUE : call.fail(error);
}

HANDLE WINAPI GetStdHandle(DWORD nStdHandle) {
  Call call("GetStdHandle");
  if (auto e = call.fault({}, ERROR_INVALID_HANDLE))
    return call.fail_with<HANDLE>(*e, INVALID_HANDLE_VALUE);
  switch (nStdHandle) {
    case STD_INPUT_HANDLE:
      return call.process.std_handles[0];
    case STD_OUTPUT_HANDLE:
      return call.process.std_handles[1];
    case STD_ERROR_HANDLE:
      return call.process.std_handles[2];
    default:
      return call.fail_with<HANDLE>(ERROR_INVALID_HANDLE, INVALID_HANDLE_VALUE);
  }
}

BOOL WINAPI SetStdHandle(DWORD nStdHandle, HANDLE hHandle) {
  Call call("SetStdHandle");
  switch (nStdHandle) {
    case STD_INPUT_HANDLE:
      call.process.std_handles[0] = hHandle;
      return TRUE;
    case STD_OUTPUT_HANDLE:
      call.process.std_handles[1] = hHandle;
      return TRUE;
    case STD_ERROR_HANDLE:
      call.process.std_handles[2] = hHandle;
      return TRUE;
    default:
      return call.fail(ERROR_INVALID_HANDLE);
  }
}

BOOL WINAPI GetConsoleMode(HANDLE hConsoleHandle, LPDWORD lpMode) {
  Call call("GetConsoleMode");
  if (auto e = call.fault({}, ERROR_INVALID_HANDLE)) return call.fail(*e);
  if (!console_of(call, hConsoleHandle)) return call.fail(ERROR_INVALID_HANDLE);
  if (lpMode == nullptr) return call.fail(ERROR_NOACCESS);
  *lpMode = ENABLE_PROCESSED_OUTPUT | ENABLE_WRAP_AT_EOL_OUTPUT;
  return TRUE;
}

BOOL WINAPI WriteConsoleW(HANDLE hConsoleOutput, const VOID *lpBuffer, DWORD nNumberOfCharsToWrite,
                          LPDWORD lpNumberOfCharsWritten, LPVOID lpReserved) {
  (void)lpReserved;
  Call call("WriteConsoleW");
  if (lpNumberOfCharsWritten != nullptr) *lpNumberOfCharsWritten = 0;
  if (auto e = call.fault({}, ERROR_INVALID_HANDLE)) return call.fail(*e);
  if (!console_of(call, hConsoleOutput)) return call.fail(ERROR_INVALID_HANDLE);
  if (lpBuffer == nullptr && nNumberOfCharsToWrite > 0) return call.fail(ERROR_NOACCESS);
  if (nNumberOfCharsToWrite > 0)
    winsim::console_write_text(
        call, call.process,
        std::u16string_view(static_cast<const WCHAR *>(lpBuffer), nNumberOfCharsToWrite));
  if (lpNumberOfCharsWritten != nullptr) *lpNumberOfCharsWritten = nNumberOfCharsToWrite;
  return TRUE;
}
