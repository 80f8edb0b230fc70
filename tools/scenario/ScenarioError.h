// A scenario that cannot be run as written: a malformed line, an unknown verb, a missing end.
// The message names the file and line ("demo.scn:12: ..."); simrun exits with code 2.
#pragma once

#include <filesystem>
#include <stdexcept>
#include <string>

namespace scenario {

class ScenarioError : public std::runtime_error {
 public:
  ScenarioError(const std::filesystem::path &file, int line, const std::string &message)
      : std::runtime_error(file.string() + ":" + std::to_string(line) + ": " + message),
        line_(line) {}
  int line() const { return line_; }

 private:
  int line_;
};

}  // namespace scenario
