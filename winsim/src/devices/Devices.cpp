#include "winsim/Devices.h"

#include "winsim/Text.h"

namespace winsim {

void Devices::add(std::string_view name, std::shared_ptr<Device> device) {
  devices_[fold_case(name)] = std::move(device);
}

void Devices::remove(std::string_view name) {
  devices_.erase(fold_case(name));
}

std::shared_ptr<Device> Devices::find(std::string_view name) const {
  auto it = devices_.find(fold_case(name));
  return it == devices_.end() ? nullptr : it->second;
}

}  // namespace winsim
