#include "scenario/verbs/BoardVerbs.h"

#include <string>
#include <vector>

#include "standins/Board.h"

namespace scenario {
namespace {

// "-1001,-1001,0": the words after "init" joined, so "-1001, 0" reads the same.
std::vector<std::int32_t> init_results(const Line &line) {
  std::string list = line.word(2, "initialization results (r1,r2,...)");
  for (std::size_t i = 3; i < line.words.size(); ++i) list += line.words[i];
  std::vector<std::int32_t> results;
  std::size_t pos = 0;
  for (;;) {
    std::size_t end = list.find(',', pos);
    std::string item = list.substr(pos, end == std::string::npos ? std::string::npos : end - pos);
    if (item.empty()) throw LineError("board init: an empty result in \"" + list + "\"");
    results.push_back(parse_i32(item, "initialization result"));
    if (end == std::string::npos) return results;
    pos = end + 1;
  }
}

// The optional "result <code>" after a reading's value.
std::int32_t reading_result(const Line &line) {
  if (line.words.size() <= 3) return 0;
  if (line.words[3] != "result")
    throw LineError("board " + line.words[1] +
                    ": expected \"result <code>\" after the value, not \"" + line.words[3] + "\"");
  std::int32_t code = parse_i32(line.word(4, "result code"), "result code");
  line.no_more_than(4);
  return code;
}

void board(winsim::World &world, const Line &line) {
  standins::Board &b = standins::Board::of(world);
  const std::string &what = line.word(1, "board setting (init, fan, cputemp, systemp)");
  if (what == "init") {
    b.set_init_results(init_results(line));
  } else if (what == "fan") {
    std::int32_t rpm = parse_i32(line.word(2, "fan speed (rpm)"), "fan speed");
    b.set_fan_speed(rpm, reading_result(line));
  } else if (what == "cputemp") {
    double celsius = parse_double(line.word(2, "CPU temperature"), "CPU temperature");
    b.set_cpu_temperature(celsius, reading_result(line));
  } else if (what == "systemp") {
    double celsius = parse_double(line.word(2, "system temperature"), "system temperature");
    b.set_system_temperature(celsius, reading_result(line));
  } else {
    throw LineError("board: unknown setting \"" + what + "\" (init, fan, cputemp or systemp)");
  }
}

}  // namespace

void add_board_verbs(Verbs &verbs) {
  verbs.add("board", board,
            "board init <r1>,<r2>,...\nboard fan <rpm> [result <code>]\n"
            "board cputemp <°C> [result <code>]\nboard systemp <°C> [result <code>]");
}

}  // namespace scenario
