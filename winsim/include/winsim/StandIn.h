// For the simulated stand-ins of libraries outside the system (the board library, ...): their
// functions are emulated calls like the Win32 ones, so they start with the same prologue.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace winsim {

// Acts on a stopped run, offers a switch point and asks the fault plan about `name`; returns
// the error to fail with when a fault is planned for this call.
std::optional<std::uint32_t> enter_call(const char *name,
                                        std::vector<std::string_view> subjects = {},
                                        std::uint32_t default_error = 0xFFFFFFFF);

// Stops the run because the calling program did something a real library would answer with
// corrupted memory or a crash (freeing a block twice, using a handle it released): the report
// names the program's process and thread, followed by `what`.
[[noreturn]] void program_fault(const std::string &what);

}  // namespace winsim
