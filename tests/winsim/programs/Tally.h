// What counter.exe's processes count in the world through a part they make themselves, as a
// stand-in library linked into a program image would.
#pragma once

namespace counter_test {

struct Tally {
  int processes = 0;
};

}  // namespace counter_test
