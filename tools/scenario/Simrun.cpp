#include "scenario/Simrun.h"

#include <fstream>
#include <memory>
#include <ostream>

#include "scenario/JsonLinesSink.h"
#include "scenario/PictureSink.h"
#include "scenario/Programs.h"
#include "scenario/ScenarioError.h"
#include "scenario/TimelineSink.h"

namespace scenario {
namespace {

constexpr const char *kUsage =
    "usage: simrun [--timeline] [--trace <file>] [--svg <picture-file>] <scenario-file>\n"
    "       simrun --verbs       (every verb of the scenario language, with its syntax)\n"
    "Runs a scenario on the simulated appliance and prints the trace on standard output\n"
    "(JSON Lines, or a timeline with --timeline); --trace also writes the JSON Lines to a\n"
    "file, --svg draws the run as an SVG picture.\n"
    "Exit codes: 0 ran to its end line, 1 cannot read the file, 2 malformed scenario,\n"
    "3 the run stopped (deadlock, busy loop, or a process without memory of its own).\n";

struct Options {
  bool timeline = false;
  bool list_verbs = false;
  bool help = false;
  std::string file;
  std::string picture;  // --svg
  std::string trace;    // --trace
};

// False when the arguments make no sense; `why` says what is wrong.
bool read_options(const std::vector<std::string> &args, Options &options, std::string &why) {
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string &arg = args[i];
    if (arg == "--svg" || arg == "--trace") {
      if (i + 1 == args.size() || args[i + 1].empty()) {
        why = arg + " needs a file name";
        return false;
      }
      (arg == "--svg" ? options.picture : options.trace) = args[++i];
    } else if (arg == "--timeline") {
      options.timeline = true;
    } else if (arg == "--verbs") {
      options.list_verbs = true;
    } else if (arg == "--help" || arg == "-h") {
      options.help = true;
    } else if (!arg.empty() && arg[0] == '-') {
      why = "unknown option " + arg;
      return false;
    } else if (options.file.empty()) {
      options.file = arg;
    } else {
      why = "more than one scenario file";
      return false;
    }
  }
  if (options.file.empty() && !options.list_verbs && !options.help) {
    why = "no scenario file";
    return false;
  }
  return true;
}

// An output file named by an option, if any; false (with the message) when it cannot be made.
bool open_output(const std::string &path, std::ofstream &file, std::ostream &err) {
  if (path.empty()) return true;
  file.open(path, std::ios::binary | std::ios::trunc);
  if (file) return true;
  err << "simrun: cannot write " << path << "\n";
  return false;
}

bool close_output(const std::string &path, std::ofstream &file, std::ostream &err) {
  if (!file.is_open()) return true;
  file.close();
  if (file) return true;
  err << "simrun: cannot write " << path << "\n";
  return false;
}

// The machine's local clock at virtual time 0, in seconds since midnight.
std::int64_t local_start(const winsim::World &world) {
  return (world.start_time() + world.timezone_bias() * 60) % 86400;
}

// Each verb's forms, one a line, the verb first.
void list_verbs(const Verbs &verbs, std::ostream &out) {
  for (const auto &form : verbs.forms()) out << form << '\n';
  out << "end\n";
}

}  // namespace

int simrun(const std::vector<std::string> &args, std::ostream &out, std::ostream &err) {
  Verbs verbs;
  register_verbs(verbs);
  return simrun(args, out, err, verbs, register_programs);
}

int simrun(const std::vector<std::string> &args, std::ostream &out, std::ostream &err,
           const Verbs &verbs, const Runner::Setup &programs) {
  Options options;
  std::string why;
  if (!read_options(args, options, why)) {
    err << "simrun: " << why << "\n" << kUsage;
    return kExitFailed;
  }
  if (options.help) {
    out << kUsage;
    return kExitOk;
  }
  if (options.list_verbs) {
    list_verbs(verbs, out);
    return kExitOk;
  }
  set_warning_stream(&err);
  struct RestoreWarnings {
    ~RestoreWarnings() { set_warning_stream(nullptr); }
  } restore;
  try {
    Scenario scenario = load_scenario(options.file);
    Runner runner(verbs, programs);
    std::ofstream picture_file, trace_file;
    if (!open_output(options.picture, picture_file, err) ||
        !open_output(options.trace, trace_file, err))
      return kExitFailed;
    JsonLinesSink trace(trace_file);
    PictureSink picture(scenario.file.filename().string(), scenario.end_time());
    std::unique_ptr<winsim::TraceSink> text;
    RunResult result = runner.run(scenario, [&](winsim::World &world) {
      if (picture_file.is_open()) world.trace().attach(picture);
      if (trace_file.is_open()) world.trace().attach(trace);
      if (options.timeline)
        text = std::make_unique<TimelineSink>(out, world.part<TimelineView>(),
                                              TimelineText(local_start(world)));
      else
        text = std::make_unique<JsonLinesSink>(out);
      world.trace().attach(*text);
    });
    if (picture_file.is_open())
      picture_file << picture.svg(result.ended_at, result.stopped.has_value());
    if (!close_output(options.picture, picture_file, err) ||
        !close_output(options.trace, trace_file, err))
      return kExitFailed;
    if (result.stopped) {
      err << "simrun: the world stopped the run at " << result.ended_at << " ms:\n"
          << *result.stopped << "\n";
      return kExitStopped;
    }
    return kExitOk;
  } catch (const ScenarioError &e) {
    err << e.what() << "\n";
    return kExitMalformed;
  } catch (const std::exception &e) {
    err << "simrun: " << e.what() << "\n";
    return kExitFailed;
  }
}

}  // namespace scenario
