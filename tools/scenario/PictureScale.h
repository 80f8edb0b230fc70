// The picture's time axis: a run's virtual time across a fixed number of pixel columns. What
// the picture keeps of a run is bounded by its columns, not by the run's length.
#pragma once

#include <cstdint>

namespace scenario {

struct PictureScale {
  static constexpr double kPlotLeft = 200;  // the lanes' labels take the space left of it
  static constexpr double kPlotWidth = 1200;

  std::uint64_t span = 1;  // virtual ms across the plot

  std::uint64_t column(std::uint64_t t) const {
    return static_cast<std::uint64_t>(static_cast<double>(t) * kPlotWidth /
                                      static_cast<double>(span));
  }
  double x(std::uint64_t t) const {
    double x = kPlotLeft + static_cast<double>(t) * kPlotWidth / static_cast<double>(span);
    return x > kPlotLeft + kPlotWidth ? kPlotLeft + kPlotWidth : x;
  }
  // The first virtual ms drawn in a column.
  std::uint64_t start_of(std::uint64_t column) const {
    return (column * span + static_cast<std::uint64_t>(kPlotWidth) - 1) /
           static_cast<std::uint64_t>(kPlotWidth);
  }
};

}  // namespace scenario
