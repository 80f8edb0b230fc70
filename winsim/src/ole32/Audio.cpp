#include "winsim/Audio.h"

#include "winsim/World.h"

namespace winsim {

Audio &Audio::of(World &world) {
  return world.part<Audio>();
}

void Audio::set_no_endpoint() {
  endpoint_ = Endpoint::None;
  friendly_name_.clear();
}

void Audio::set_endpoint(std::string_view friendly_name_utf8) {
  endpoint_ = Endpoint::Named;
  friendly_name_ = friendly_name_utf8;
}

void Audio::set_unnamed_endpoint() {
  endpoint_ = Endpoint::Unnamed;
  friendly_name_.clear();
}

void Audio::set_nonstring_endpoint() {
  endpoint_ = Endpoint::NonString;
  friendly_name_.clear();
}

int Audio::com_initialized_threads() const {
  int n = 0;
  for (const auto &[tid, count] : com_threads_)
    if (count > 0) ++n;
  return n;
}

int Audio::com_enter(unsigned tid) {
  for (auto &[t, count] : com_threads_)
    if (t == tid) return ++count;
  com_threads_.emplace_back(tid, 1);
  return 1;
}

void Audio::com_leave(unsigned tid) {
  for (auto &[t, count] : com_threads_)
    if (t == tid && count > 0) --count;
}

int Audio::com_count(unsigned tid) const {
  for (const auto &[t, count] : com_threads_)
    if (t == tid) return count;
  return 0;
}

}  // namespace winsim
