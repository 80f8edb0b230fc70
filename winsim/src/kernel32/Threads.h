// What the thread functions offer the libraries that build on them: the C runtime starts its
// threads the way CreateThread does.
#pragma once

#include <functional>

#include "core/Call.h"

namespace winsim {

// Starts a thread of the calling process running `body`, with CreateThread's fault and
// refusals (an empty body is an invalid parameter); its handle, or null when it fails. The
// last error is the caller's to set.
HANDLE start_thread(Call &call, std::function<DWORD()> body, DWORD flags, DWORD *thread_id);

}  // namespace winsim
