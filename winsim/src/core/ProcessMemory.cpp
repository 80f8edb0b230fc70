#include "core/ProcessMemory.h"

#include <cstdio>
#include <cstdlib>

#include "core/Process.h"

namespace winsim {
namespace {

Process *current_process_if_any() {
  World *world = World::find();
  return world != nullptr ? &world->current_process() : nullptr;
}

std::string at_now(std::string what) {
  char at[48];
  std::snprintf(at, sizeof at, " at %.3f s", static_cast<double>(World::get().now()) / 1000.0);
  return what + at;
}

}  // namespace

Process::~Process() {
  for (const auto &[block, held] : memory)
    if (held.block) std::free(const_cast<void *>(block));
}

void *hand_out(std::size_t bytes, bool zeroed, std::string what) {
  if (bytes == 0) bytes = 1;
  void *block = zeroed ? std::calloc(1, bytes) : std::malloc(bytes);
  if (block == nullptr) return nullptr;
  if (Process *p = current_process_if_any())
    p->memory.emplace(block, Process::Held{at_now(std::move(what)), true});
  return block;
}

void take_back(void *block) {
  if (block == nullptr) return;
  if (Process *p = current_process_if_any()) p->memory.erase(block);
  std::free(block);
}

void note_held(const void *object, std::string what) {
  if (Process *p = current_process_if_any())
    p->memory.emplace(object, Process::Held{at_now(std::move(what)), false});
}

void note_given_back(const void *object) {
  if (Process *p = current_process_if_any()) p->memory.erase(object);
}

}  // namespace winsim
