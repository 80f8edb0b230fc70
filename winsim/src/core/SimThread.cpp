#include "core/SimThread.h"

namespace winsim {
namespace {
// Read by every emulated call. winsim is loaded with the host, so its thread-local data can
// sit in the static block that the initial-exec model reaches without a call.
thread_local SimThread *tls_current __attribute__((tls_model("initial-exec"))) = nullptr;
}  // namespace

SimThread::SimThread(std::uint32_t id, Process *owner, bool is_host)
    : tid(id), process(owner), host(is_host) {}

SimThread *current_thread() {
  return tls_current;
}
void set_current_thread(SimThread *thread) {
  tls_current = thread;
}

}  // namespace winsim
