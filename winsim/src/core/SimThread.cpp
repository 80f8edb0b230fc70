#include "core/SimThread.h"

namespace winsim {
namespace {
thread_local SimThread *tls_current = nullptr;
}

SimThread::SimThread(std::uint32_t id, Process *owner, bool is_host)
    : tid(id), process(owner), host(is_host), unblocked_at(std::chrono::steady_clock::now()) {}

SimThread *current_thread() {
  return tls_current;
}
void set_current_thread(SimThread *thread) {
  tls_current = thread;
}

}  // namespace winsim
