#include "sweep/Census.h"

#include <cstdio>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "sweep/RunChecks.h"

namespace sweep {

namespace {

std::vector<std::string> fields_of(const std::string &line) {
  std::vector<std::string> fields;
  std::istringstream in(line);
  for (std::string field; std::getline(in, field, '\t');) fields.push_back(field);
  return fields;
}

bool count_of(const std::string &text, std::uint64_t &value) {
  if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos) return false;
  value = std::stoull(text);
  return true;
}

// The legacy build of the installer is the same source: its sites are the installer's.
std::string program_of(std::string image) {
  if (const auto at = image.find("-legacy"); at != std::string::npos) image.erase(at, 7);
  return image;
}

}  // namespace

bool Census::read(std::istream &in) {
  std::map<winsim::CallSite, winsim::SiteCount> lines;
  for (std::string line; std::getline(in, line);) {
    std::vector<std::string> fields = fields_of(line);
    winsim::SiteCount count;
    if (fields.size() != 5 || !count_of(fields[3], count.reached) ||
        !count_of(fields[4], count.failed))
      return false;
    winsim::SiteCount &sum = lines[{fields[1], fields[2], program_of(fields[0])}];
    sum.reached += count.reached;
    sum.failed += count.failed;
  }
  // A test that runs a program's parts in its own executable, or in a test program of its own,
  // reaches their sites outside the program's image: they belong to the system's program whose
  // image alone has the calling function.
  std::map<std::string, std::set<std::string>> programs_of_function;
  for (const auto &[site, count] : lines)
    if (is_system_program(site.program)) programs_of_function[site.caller].insert(site.program);
  for (const auto &[line_site, count] : lines) {
    winsim::CallSite site = line_site;
    if (!is_system_program(site.program)) {
      auto it = programs_of_function.find(site.caller);
      if (it == programs_of_function.end() || it->second.size() != 1) continue;
      site.program = *it->second.begin();
    }
    if (site.caller.empty() || !is_swept(site)) continue;
    winsim::SiteCount &sum = sites_[site];
    sum.reached += count.reached;
    sum.failed += count.failed;
  }
  return true;
}

void Census::report(std::ostream &out) const {
  struct Tally {
    unsigned sites = 0, failed = 0;
  };
  std::map<std::string, Tally> by_program;
  Tally all;
  for (const auto &[site, count] : sites_) {
    Tally &t = by_program[site.program];
    ++t.sites, ++all.sites;
    if (count.failed != 0) ++t.failed, ++all.failed;
  }
  auto line = [&out](const std::string &name, const Tally &t) {
    char text[128];
    std::snprintf(text, sizeof text, "  %-16s %4u sites, %4u failed by a test (%u %%)\n",
                  name.c_str(), t.sites, t.failed, t.sites == 0 ? 0 : t.failed * 100 / t.sites);
    out << text;
  };
  out << "call sites the tests reach (closes and frees left out):\n";
  for (const auto &[program, tally] : by_program) line(program, tally);
  line("all", all);
  if (all.failed == all.sites) return;
  out << "sites no test fails:\n";
  for (const auto &[site, count] : sites_)
    if (count.failed == 0)
      out << "  " << site.program << "  " << site.call << " in " << site.caller << " (reached "
          << count.reached << " times)\n";
}

}  // namespace sweep
