#include "winsim/StandIn.h"

#include "core/Call.h"

namespace winsim {

std::optional<std::uint32_t> enter_call(const char *name, std::vector<std::string_view> subjects,
                                        std::uint32_t default_error) {
  Call call(name);
  return call.fault(std::move(subjects), default_error);
}

}  // namespace winsim
