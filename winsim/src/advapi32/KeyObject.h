// An open registry key.
#pragma once

#include <memory>

#include "core/Object.h"
#include "winsim/Registry.h"

namespace winsim {

class KeyObject : public Object {
 public:
  explicit KeyObject(std::shared_ptr<RegKey> k) : key(std::move(k)) {}
  ObjectType type() const override { return ObjectType::Key; }
  std::string describe() const override { return "registry key \"" + key->path + "\""; }

  std::shared_ptr<RegKey> key;
};

}  // namespace winsim
