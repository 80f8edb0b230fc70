// simrun: the appliance simulator. See Simrun.h.
#include <iostream>
#include <string>
#include <vector>

#include "scenario/Simrun.h"

int main(int argc, char **argv) {
  std::ios::sync_with_stdio(false);
  return scenario::simrun(std::vector<std::string>(argv + 1, argv + argc), std::cout, std::cerr);
}
