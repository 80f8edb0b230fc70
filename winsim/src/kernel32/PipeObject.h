// An anonymous pipe: a bounded byte buffer with a read end and a write end. A writer waits for
// room, a reader for data; when the last handle to one end closes, the other end breaks.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>

#include "core/Object.h"

namespace winsim {

class World;

struct Pipe {
  std::deque<std::uint8_t> buffer;
  std::size_t capacity = 4096;
  bool read_closed = false;
  bool write_closed = false;
  std::weak_ptr<Object> read_end;
  std::weak_ptr<Object> write_end;
  unsigned serial = 0;
};

class PipeEndObject : public Object {
 public:
  PipeEndObject(World &w, std::shared_ptr<Pipe> p, bool write_end)
      : world(w), pipe(std::move(p)), writer(write_end) {}
  ObjectType type() const override { return ObjectType::PipeEnd; }
  std::string describe() const override {
    return std::string("pipe #") + std::to_string(pipe->serial) +
           (writer ? " (write end)" : " (read end)");
  }
  // Not waitable through WaitForSingleObject; the pipe's own reads and writes wait on these
  // states: a read end is ready when it has data or the writers are gone, a write end when
  // what the pipe holds fits its buffer or the readers are gone.
  bool signalled(const SimThread &) const override {
    if (writer) return pipe->buffer.size() <= pipe->capacity || pipe->read_closed;
    return !pipe->buffer.empty() || pipe->write_closed;
  }
  void last_handle_closed() override;

  World &world;
  std::shared_ptr<Pipe> pipe;
  bool writer;
};

}  // namespace winsim
