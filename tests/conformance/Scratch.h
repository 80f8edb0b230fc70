// Files and folders a test makes under the temporary folder, removed again in reverse order
// when the test ends. Folders outside the scratch root (the system folder) can hold files
// too; they are removed the same way, and a file the test removed itself is no harm.
#pragma once

#include <vector>

#include "Conformance.h"

namespace conformance {

class Scratch {
 public:
  // Makes <temp root>\<name>.
  explicit Scratch(const WString &name) : root_(TempRoot() + name) {
    CreateDirectoryW(root_.c_str(), nullptr);
    folders_.push_back(root_);
  }
  ~Scratch() {
    for (auto it = files_.rbegin(); it != files_.rend(); ++it) DeleteFileW(it->c_str());
    for (auto it = folders_.rbegin(); it != folders_.rend(); ++it) RemoveDirectoryW(it->c_str());
  }
  Scratch(const Scratch &) = delete;
  Scratch &operator=(const Scratch &) = delete;

  const WString &root() const { return root_; }
  // Makes the folder <root>\<relative> and returns its full path.
  WString folder(const WString &relative) {
    folders_.push_back(root_ + TEXT("\\") + relative);
    CreateDirectoryW(folders_.back().c_str(), nullptr);
    return folders_.back();
  }
  // Places a copy of the child program at `path` (full) and returns the path.
  WString child_image(const WString &path) {
    if (PlaceChildImage(path)) files_.push_back(path);
    return path;
  }

 private:
  WString root_;
  std::vector<WString> folders_;
  std::vector<WString> files_;
};

}  // namespace conformance
