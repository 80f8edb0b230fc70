#include "scenario/verbs/DiskVerbs.h"

#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>

#include "winsim/SmartDisk.h"
#include "wmic/sim/WmicStandIn.h"

namespace scenario {
namespace {

std::string read_host_file(const std::filesystem::path &path, const char *verb) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw LineError(std::string(verb) + ": cannot read \"" + path.string() + "\"");
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// "\r" and "\n" become the line-end characters; every other character stays as written, so
// device paths such as \\.\PHYSICALDRIVE0 read as the tool prints them.
std::string unescape_line_ends(const std::string &text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\' && i + 1 < text.size() && (text[i + 1] == 'r' || text[i + 1] == 'n')) {
      out += text[i + 1] == 'r' ? '\r' : '\n';
      ++i;
    } else {
      out += text[i];
    }
  }
  return out;
}

void wmic(winsim::World &world, const Line &line) {
  const std::string &action = line.word(1, "action (output, text, delay, hang or absent)");
  if (action == "absent") {
    line.no_more_than(1);
    standin::remove_wmic(world);
    return;
  }
  standin::WmicStandIn &tool = standin::install_wmic(world);
  if (action == "output") {
    line.no_more_than(2);
    tool.output = read_host_file(line.host_path(2), "wmic output");
  } else if (action == "text") {
    line.no_more_than(2);
    tool.output = unescape_line_ends(line.word(2, "text"));
  } else if (action == "delay") {
    line.no_more_than(2);
    tool.delay_ms = parse_duration(line.word(2, "delay"), "wmic delay");
    tool.hang = false;
  } else if (action == "hang") {
    line.no_more_than(1);
    tool.hang = true;
  } else {
    throw LineError("wmic: unknown action \"" + action +
                    "\" (output, text, delay, hang or absent)");
  }
}

winsim::SmartDisk::Failure failure_mode(const std::string &mode) {
  using Failure = winsim::SmartDisk::Failure;
  if (mode == "open") return Failure::Open;
  if (mode == "ioctl") return Failure::Ioctl;
  if (mode == "thresholds") return Failure::Thresholds;
  if (mode == "none") return Failure::None;
  throw LineError("disk fail: unknown failure \"" + mode + "\" (open, ioctl, thresholds or none)");
}

std::shared_ptr<winsim::SmartDisk> existing_drive(winsim::World &world, unsigned number,
                                                  const char *verb) {
  auto drive = winsim::find_smart_disk(world, number);
  if (!drive)
    throw LineError(std::string(verb) + ": there is no drive " + std::to_string(number) +
                    " (add it first with \"disk " + std::to_string(number) + " smart ...\")");
  return drive;
}

// disk <n> attribute <id> <current> <raw>
void set_attribute(winsim::World &world, unsigned number, const Line &line) {
  std::uint32_t id = parse_u32(line.word(3, "attribute id"), "attribute id");
  std::uint32_t current = parse_u32(line.word(4, "current value"), "current value");
  std::uint64_t raw = parse_u64(line.word(5, "raw value"), "raw value");
  line.no_more_than(5);
  if (id == 0 || id > 255 || current > 255 || raw >> 48 != 0)
    throw LineError(
        "disk attribute: the id (1 to 255), the current value (0 to 255) or the raw "
        "value (six bytes) is out of range");
  auto drive = existing_drive(world, number, "disk attribute");
  if (!drive->set_attribute(static_cast<std::uint8_t>(id), static_cast<std::uint8_t>(current), raw))
    throw LineError("disk attribute: drive " + std::to_string(number) + " has no attribute " +
                    std::to_string(id));
}

void disk(winsim::World &world, const Line &line) {
  unsigned number =
      parse_u32(line.word(1, "drive number (n of \\\\.\\PHYSICALDRIVEn)"), "drive number");
  const std::string &action = line.word(2, "action (smart, fail or attribute)");
  if (action == "smart") {
    line.word(4, "thresholds file");
    line.no_more_than(4);
    try {
      winsim::add_smart_disk(world, number, line.host_path(3), line.host_path(4));
    } catch (const std::exception &e) {  // unreadable file, sector longer than 512 bytes
      throw LineError(std::string("disk smart: ") + e.what());
    }
  } else if (action == "fail") {
    winsim::SmartDisk::Failure failure = failure_mode(line.word(3, "failure"));
    line.no_more_than(3);
    existing_drive(world, number, "disk fail")->set_failure(failure);
  } else if (action == "attribute") {
    set_attribute(world, number, line);
  } else {
    throw LineError("disk: unknown action \"" + action + "\" (smart, fail or attribute)");
  }
}

}  // namespace

void add_disk_verbs(Verbs &verbs) {
  verbs.add("wmic", wmic,
            "wmic output <file>\nwmic text \"<text>\"\nwmic delay <time>\nwmic hang\nwmic absent");
  verbs.add("disk", disk,
            "disk <n> smart <data-file> <thresholds-file>\n"
            "disk <n> fail open|ioctl|thresholds|none\ndisk <n> attribute <id> <current> <raw>");
}

}  // namespace scenario
