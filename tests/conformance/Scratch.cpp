#include "Scratch.h"

namespace conformance {

Scratch::Scratch(const WString &name) : root_(TempRoot() + name) {
  CreateDirectoryW(root_.c_str(), nullptr);
  folders_.push_back(root_);
}

Scratch::~Scratch() {
  for (auto it = files_.rbegin(); it != files_.rend(); ++it) DeleteFileW(it->c_str());
  for (auto it = folders_.rbegin(); it != folders_.rend(); ++it) RemoveDirectoryW(it->c_str());
}

WString Scratch::folder(const WString &relative) {
  WString path = root_ + TEXT("\\") + relative;
  CreateDirectoryW(path.c_str(), nullptr);
  folders_.push_back(path);
  return path;
}

WString Scratch::child_image(const WString &path) {
  if (PlaceChildImage(path)) files_.push_back(path);
  return path;
}

}  // namespace conformance
