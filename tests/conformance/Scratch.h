// Files and folders a test makes under the temporary folder, removed again in reverse order
// when the test ends. Folders outside the scratch root (the system folder) can hold files
// too; they are removed the same way.
#pragma once

#include <vector>

#include "Conformance.h"

namespace conformance {

class Scratch {
 public:
  // Makes <temp root>\<name>.
  explicit Scratch(const WString &name);
  ~Scratch();
  Scratch(const Scratch &) = delete;
  Scratch &operator=(const Scratch &) = delete;

  const WString &root() const { return root_; }
  // Makes the folder <root>\<relative> and returns its full path.
  WString folder(const WString &relative);
  // Places a copy of the child program at `path` (full) and returns the path.
  WString child_image(const WString &path);

 private:
  WString root_;
  std::vector<WString> folders_;
  std::vector<WString> files_;
};

}  // namespace conformance
