#include "scenario/PictureMarks.h"

#include <algorithm>

namespace scenario {
void PictureMarks::add(const PictureScale &scale, std::uint64_t from, std::uint64_t to, int rank,
                       std::string title, std::size_t texts, std::string label) {
  if (!marks_.empty() && scale.column(from) <= scale.column(marks_.back().to)) {
    Mark &last = marks_.back();
    last.to = std::max(last.to, to);
    last.rank = std::max(last.rank, rank);
    ++last.count;
    last.label.clear();
    if (last.texts < texts) {
      last.title += "\n" + title;
      ++last.texts;
    }
    return;
  }
  marks_.push_back({from, to, rank, 1, std::move(title), 1, std::move(label)});
}

}  // namespace scenario
