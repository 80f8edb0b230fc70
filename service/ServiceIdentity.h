// The identity of the service "Orvexd" as the program registers and runs it.
#pragma once

namespace quillet {

constexpr const char *kServiceName = "Orvexd";
constexpr const char *kDisplayName = "Norvane NAS LED Control";
// The name in the dispatch table; for a service of its own process the dispatcher does not
// compare it with the service name.
constexpr const char *kDispatchName = "QuilletCtrl";
// The event source of every message of the health monitor.
constexpr const char *kEventSource = "Quillet";

}  // namespace quillet
