#include "core/HandleTable.h"

#include <algorithm>
#include <cstdio>

namespace winsim {

HANDLE HandleTable::insert(std::shared_ptr<Object> object, DWORD access, bool inherit,
                           bool system) {
  std::uintptr_t value;
  if (!free_.empty()) {
    value = free_.begin()->first;
    free_.erase(free_.begin());
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
  free_.erase(value);
  while (next_ <= value) {
    if (entries_.find(next_) == entries_.end()) free_.emplace(next_, std::string());
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
  free_[value] = object->describe();
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

std::string HandleTable::describe_unopened(HANDLE handle) const {
  auto it = free_.find(reinterpret_cast<std::uintptr_t>(handle));
  if (it == free_.end() || it->second.empty()) return "was never opened";
  return "was closed (it was " + it->second + ")";
}

std::size_t HandleTable::open_count() const {
  return static_cast<std::size_t>(
      std::count_if(entries_.begin(), entries_.end(),
                    [](const auto &e) { return !e.second.system && !e.second.inherited; }));
}

}  // namespace winsim
