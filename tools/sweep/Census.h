// The census of call sites: which (call, calling function) pairs of the system's programs a
// run of the tests reached, and which of them a test made fail. The tests' worlds write their
// sites to the file WINSIM_SITES names; the census sums the lines and reports per program.
#pragma once

#include <istream>
#include <map>
#include <ostream>

#include "winsim/FaultPlan.h"

namespace sweep {

class Census {
 public:
  // Adds the lines of a sites file ("program, call, caller, reached, failed", tab-separated);
  // returns false at a line that is not one.
  bool read(std::istream &in);
  // Per program: sites, sites failed by a test and their share; then every site none failed.
  void report(std::ostream &out) const;

  const std::map<winsim::CallSite, winsim::SiteCount> &sites() const { return sites_; }

 private:
  std::map<winsim::CallSite, winsim::SiteCount> sites_;  // swept sites of the system's programs
};

}  // namespace sweep
