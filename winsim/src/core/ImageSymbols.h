// The functions of a program image by address, named as the program's source writes them. A
// fault rule may name the program function a call comes from ("SetEvent in OnStop"); the
// return address of the call is looked up here.
//
// Names are the demangled symbols of the module's symbol table, reduced to what the source
// writes: no parameter list, no template arguments, no anonymous namespace, and the code of a
// lambda under the function that holds it ("RaidAlarmThread" for a call made in a lambda of
// RaidAlarmThread). The sim build compiles program code without inlining and without sibling
// calls, so every function of the source keeps its own frame.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace winsim {

class ImageSymbols {
 public:
  // The symbols of the module file at `module`, read once per host process.
  static const ImageSymbols &of(const std::string &module);

  // The function that holds `offset` (an address less the module's load address); empty when
  // none does.
  std::string_view function_at(std::uintptr_t offset) const;
  // Whether `name` names one of the module's functions: its full name ("CQuilletCtrl::OnStop")
  // or a trailing part of it after "::" ("OnStop").
  bool knows(std::string_view name) const { return known_.count(std::string(name)) != 0; }

  // The source name of a demangled symbol.
  static std::string source_name(std::string_view demangled);

 private:
  explicit ImageSymbols(const std::string &module);

  struct Function {
    std::uintptr_t start;
    std::uintptr_t end;
    std::string name;
  };
  std::vector<Function> functions_;  // by start
  std::set<std::string> known_;
};

}  // namespace winsim
