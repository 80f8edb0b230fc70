// simrun, the appliance simulator's command line: reads a scenario file, runs it on a fresh
// simulated machine and prints the trace on standard output.
//
//   simrun [--timeline] <scenario-file>   JSON Lines, or a human-readable timeline
//   simrun --trace <file> ...             also writes the JSON Lines trace into a file
//   simrun --svg <picture-file> ...       also draws the run as an SVG picture (PictureSink)
//   simrun --verbs                        the verbs scenario files may use, with their syntax
//
// Exit codes: 0 the run reached its end line; 1 the file cannot be read (or a line cannot be
// carried out); 2 the scenario is malformed ("file:line: message" on standard error); 3 the
// world stopped the run (deadlock, busy loop, fault of a program, call it does not simulate):
// the report on standard error, the trace so far on standard output.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "scenario/Runner.h"
#include "scenario/Verbs.h"

namespace scenario {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitMalformed = 2;
constexpr int kExitStopped = 3;

// `args` without the program name. Uses every verb and program of register_verbs and
// register_programs.
int simrun(const std::vector<std::string> &args, std::ostream &out, std::ostream &err);
// The same with the given verbs and programs (tests add their own).
int simrun(const std::vector<std::string> &args, std::ostream &out, std::ostream &err,
           const Verbs &verbs, const Runner::Setup &programs);

}  // namespace scenario
