// A lane's value over time (an LED's light, a status code, a service state) as the picture
// draws it: a step where the value changes. Changes closer together than one pixel column are
// merged: the column shows the most severe value it saw, and the value the last change left
// starts in the next column.
#pragma once

#include <cstdint>
#include <vector>

#include "scenario/PictureScale.h"

namespace scenario {

class PictureSteps {
 public:
  struct Step {
    std::uint64_t t;
    int value;
    int rank;  // severity: the higher shows where changes share a column
  };

  // Times never go back.
  void set(const PictureScale &scale, std::uint64_t t, int value, int rank);
  // The steps to draw, the last value included.
  std::vector<Step> steps(const PictureScale &scale) const;
  bool empty() const { return steps_.empty(); }

 private:
  std::vector<Step> steps_;
  Step now_{0, 0, 0};  // the value the last change left
};

}  // namespace scenario
