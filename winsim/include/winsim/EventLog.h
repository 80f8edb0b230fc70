// The simulated event log (the Application log of the local computer).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace winsim {

struct EventEntry {
  std::uint64_t t = 0;  // virtual ms
  std::uint32_t pid = 0;
  std::string source;  // bytes as the program passed them (its code page)
  std::uint16_t type = 0;
  std::uint16_t category = 0;
  std::uint32_t id = 0;
  std::vector<std::string> strings;  // bytes as the program passed them
  std::vector<std::uint8_t> data;
};

class EventLog {
 public:
  const std::vector<EventEntry> &entries() const { return entries_; }
  void add(EventEntry entry) { entries_.push_back(std::move(entry)); }
  void clear() { entries_.clear(); }
  // An unavailable event-log service refuses to register event sources.
  void set_available(bool available) { available_ = available; }
  bool available() const { return available_; }

 private:
  std::vector<EventEntry> entries_;
  bool available_ = true;
};

}  // namespace winsim
