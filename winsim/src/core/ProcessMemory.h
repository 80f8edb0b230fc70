// Memory the system hands to a program, which the program gives back with LocalFree or
// CoTaskMemFree: message texts, argument vectors, property values; and the COM objects it
// releases. Each block is noted in the
// process it was handed to, so that a block never given back shows as left behind; what a
// process still holds when it ends goes with it, as on Windows.
#pragma once

#include <cstddef>
#include <string>

namespace winsim {

// A block of `bytes` (zeroed when asked) for the current process, noted under `what`; null when
// the host has no memory left. Outside a world the block is only allocated.
void *hand_out(std::size_t bytes, bool zeroed, std::string what);
// Takes back a block handed out by hand_out; null is ignored.
void take_back(void *block);
// The same bookkeeping for an object the system made for the current process and frees itself
// when the program releases it (a COM object): noted while the program holds it.
void note_held(const void *object, std::string what);
void note_given_back(const void *object);

}  // namespace winsim
