// Windows command-line rules: how CreateProcess finds the program in a command line, and how
// CommandLineToArgvW splits one into arguments.
#pragma once

#include <string>
#include <vector>

namespace winsim {

// The program names CreateProcess tries for a command line without an application name, in
// order. A quoted first word is one candidate; an unquoted one is tried up to each blank in
// turn ("C:\Program Files\x y" tries "C:\Program", "C:\Program Files\x", and the whole).
std::vector<std::string> program_candidates(const std::u16string &command_line);

// Splits a command line into arguments as CommandLineToArgvW does.
std::vector<std::u16string> split_arguments(const std::u16string &command_line);

}  // namespace winsim
