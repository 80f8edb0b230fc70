// Reading and writing through handles: pipes, files, devices and consoles.
#pragma once

#include <string_view>

#include "core/Call.h"

namespace winsim {

// Writes to the calling process's standard output or error (1 or 2) as the C runtime does:
// to its console, into a pipe, or nowhere when it has none.
void write_std(Call &call, int which, std::string_view bytes);

}  // namespace winsim
