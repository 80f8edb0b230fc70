// Waiting on kernel objects: satisfying a wait, registering a blocked one with its objects,
// and re-examining the waiters when an object's state changes.
#include <algorithm>

#include "core/Call.h"
#include "winsim/win32/sync.h"

namespace winsim {
namespace {

bool satisfiable(const WaitBlock &wb, const SimThread &thread, DWORD *index) {
  if (!wb.all) {
    for (size_t i = 0; i < wb.objects.size(); ++i)
      if (wb.objects[i]->signalled(thread)) {
        *index = static_cast<DWORD>(i);
        return true;
      }
    return false;
  }
  for (const auto &object : wb.objects)
    if (!object->signalled(thread)) return false;
  *index = 0;
  return true;
}

DWORD take(WaitBlock &wb, SimThread &thread, DWORD index) {
  if (!wb.all) {
    DWORD r = wb.objects[index]->take(thread);
    return (r == WAIT_ABANDONED ? WAIT_ABANDONED_0 : WAIT_OBJECT_0) + index;
  }
  bool abandoned = false;
  for (auto &object : wb.objects)
    if (object->take(thread) == WAIT_ABANDONED) abandoned = true;
  return abandoned ? WAIT_ABANDONED_0 : WAIT_OBJECT_0;
}

void unregister(WaitBlock &wb) {
  for (auto &object : wb.objects) {
    auto &list = object->waiters;
    list.erase(std::remove(list.begin(), list.end(), &wb), list.end());
  }
}

}  // namespace

void cancel_wait_of(SimThread *thread) {
  if (thread->wait != nullptr) {
    unregister(*thread->wait);
    thread->wait = nullptr;
  }
}

DWORD wait_objects(Call &call, const std::vector<std::shared_ptr<Object>> &objects, bool all,
                   DWORD timeout_ms, std::string what) {
  WaitBlock wb{&call.thread, objects, all};
  DWORD index = 0;
  if (satisfiable(wb, call.thread, &index)) return take(wb, call.thread, index);
  if (timeout_ms == 0) return WAIT_TIMEOUT;
  for (auto &object : wb.objects) {
    auto &list = object->waiters;
    if (std::find(list.begin(), list.end(), &wb) == list.end()) list.push_back(&wb);
  }
  call.thread.wait = &wb;
  std::optional<std::uint64_t> deadline;
  if (timeout_ms != INFINITE) deadline = call.world.now() + timeout_ms;
  Wake wake = call.world.scheduler().block(std::move(what), deadline);
  call.thread.wait = nullptr;
  if (wake == Wake::Signalled) return call.thread.wait_result;
  return WAIT_TIMEOUT;
}

// Serves the waiters in arrival order; with a seed, in an order the seed picks, as Windows
// promises none.
void World::signal(Object &object) {
  std::vector<WaitBlock *> waiters = object.waiters;
  scheduler_->shuffle(waiters);
  for (WaitBlock *wb : waiters) {
    auto &list = object.waiters;
    if (std::find(list.begin(), list.end(), wb) == list.end()) continue;
    SimThread &thread = *wb->thread;
    if (!Scheduler::waiting(thread)) continue;
    DWORD index = 0;
    if (!satisfiable(*wb, thread, &index)) continue;
    DWORD result = take(*wb, thread, index);
    unregister(*wb);
    thread.wait = nullptr;
    thread.wait_result = result;
    scheduler_->wake(&thread, Wake::Signalled);
  }
}

}  // namespace winsim
