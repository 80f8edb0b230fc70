#include "core/HandleTable.h"

#include <algorithm>
#include <cstdio>

namespace winsim {

HANDLE HandleTable::insert(std::shared_ptr<Object> object, DWORD access, bool inherit,
                           bool system) {
  std::uintptr_t value;
  if (!free_.empty()) {
    auto lowest = std::min_element(free_.begin(), free_.end());
    value = *lowest;
    free_.erase(lowest);
  } else {
    value = next_;
    next_ += 4;
  }
  ++object->handles;
  entries_[value] = Entry{std::move(object), access, inherit, system};
  return reinterpret_cast<HANDLE>(value);
}

void HandleTable::insert_at(HANDLE handle, const Entry &entry) {
  auto value = reinterpret_cast<std::uintptr_t>(handle);
  ++entry.object->handles;
  entries_[value] = entry;
  free_.erase(std::remove(free_.begin(), free_.end(), value), free_.end());
  while (next_ <= value) {
    if (entries_.find(next_) == entries_.end()) free_.push_back(next_);
    next_ += 4;
  }
}

HandleTable::Entry *HandleTable::find(HANDLE handle) {
  auto it = entries_.find(reinterpret_cast<std::uintptr_t>(handle));
  return it == entries_.end() ? nullptr : &it->second;
}

std::shared_ptr<Object> HandleTable::get(HANDLE handle) const {
  auto it = entries_.find(reinterpret_cast<std::uintptr_t>(handle));
  return it == entries_.end() ? nullptr : it->second.object;
}

std::shared_ptr<Object> HandleTable::remove(HANDLE handle) {
  auto value = reinterpret_cast<std::uintptr_t>(handle);
  auto it = entries_.find(value);
  if (it == entries_.end()) return nullptr;
  auto object = std::move(it->second.object);
  entries_.erase(it);
  free_.push_back(value);
  --object->handles;
  return object;
}

std::vector<std::pair<HANDLE, HandleTable::Entry>> HandleTable::entries() const {
  std::vector<std::pair<HANDLE, Entry>> out;
  for (const auto &[value, entry] : entries_)
    out.emplace_back(reinterpret_cast<HANDLE>(value), entry);
  return out;
}

std::vector<std::string> HandleTable::describe_open() const {
  std::vector<std::string> out;
  for (const auto &[value, entry] : entries_) {
    if (entry.system || entry.inherited) continue;
    char head[32];
    std::snprintf(head, sizeof head, "0x%llx: ", static_cast<unsigned long long>(value));
    out.push_back(head + entry.object->describe());
  }
  return out;
}

std::size_t HandleTable::open_count() const {
  return static_cast<std::size_t>(
      std::count_if(entries_.begin(), entries_.end(),
                    [](const auto &e) { return !e.second.system && !e.second.inherited; }));
}

}  // namespace winsim
