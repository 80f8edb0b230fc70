// A process's handle table. Handle values are multiples of 4, as on Windows; a closed value is
// given out again before a new one, the lowest first. Until then the table remembers what the
// value referred to, so that a report on a closed handle can name it.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "core/Object.h"

namespace winsim {

class HandleTable {
 public:
  struct Entry {
    std::shared_ptr<Object> object;
    DWORD access = 0;
    bool inherit = false;
    bool system = false;  // set up by the system (standard handles), not counted as the program's
    bool inherited = false;  // inherited from the parent: not opened by the program itself
  };

  HANDLE insert(std::shared_ptr<Object> object, DWORD access, bool inherit, bool system = false);
  // Places an inherited handle under the same value it has in the parent.
  void insert_at(HANDLE value, const Entry &entry);
  Entry *find(HANDLE handle);
  std::shared_ptr<Object> get(HANDLE handle) const;
  // Removes the handle; returns the object (null for an invalid handle).
  std::shared_ptr<Object> remove(HANDLE handle);
  std::vector<std::pair<HANDLE, Entry>> entries() const;
  // Handles the program opened itself (not the system's, not inherited) and has not closed.
  std::vector<std::string> describe_open() const;
  std::size_t open_count() const;
  bool empty() const { return entries_.empty(); }
  // How a value that is not open stands: "was closed (it was event \"Stop\")" for a closed
  // value not given out again, "was never opened" for a value this process was never given.
  std::string describe_unopened(HANDLE handle) const;

 private:
  std::map<std::uintptr_t, Entry> entries_;
  // Values free to give out again, with what each referred to when it was closed (empty for a
  // value skipped when an inherited handle was placed above it).
  std::map<std::uintptr_t, std::string> free_;
  std::uintptr_t next_ = 4;
};

}  // namespace winsim
