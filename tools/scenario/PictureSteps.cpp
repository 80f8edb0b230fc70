#include "scenario/PictureSteps.h"

namespace scenario {

void PictureSteps::set(const PictureScale &scale, std::uint64_t t, int value, int rank) {
  Step step{t, value, rank};
  if (steps_.empty()) {
    steps_.push_back(step);
    now_ = step;
    return;
  }
  if (value == now_.value) return;
  std::uint64_t shown = scale.column(steps_.back().t);
  if (scale.column(t) > shown && steps_.back().value != now_.value) {
    // The column showed a more severe value than the one its last change left: that one
    // starts in the next column.
    steps_.push_back({scale.start_of(shown + 1), now_.value, now_.rank});
    shown = scale.column(steps_.back().t);
  }
  now_ = step;
  if (scale.column(t) == shown) {
    if (rank >= steps_.back().rank) steps_.back() = {steps_.back().t, value, rank};
    return;
  }
  steps_.push_back(step);
}

std::vector<PictureSteps::Step> PictureSteps::steps(const PictureScale &scale) const {
  std::vector<Step> out = steps_;
  if (!out.empty() && out.back().value != now_.value)
    out.push_back({scale.start_of(scale.column(out.back().t) + 1), now_.value, now_.rank});
  return out;
}

}  // namespace scenario
