// A lane of moments and stretches (an event-log entry, a sound, a process's life, a file
// copied), each with the text shown on hover. Marks that fall into one pixel column are
// merged into one: the most severe colour, their count, and the first texts.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "scenario/PictureScale.h"

namespace scenario {

class PictureMarks {
 public:
  struct Mark {
    std::uint64_t from;
    std::uint64_t to;
    int rank;               // severity, for the colour
    std::size_t count;      // marks merged into this one
    std::string title;      // the texts, one a line
    std::size_t texts = 1;  // texts in the title
    std::string label;      // drawn beside a mark that stands alone (an exit code)
  };

  // Marks arrive in the order of their start. A merged mark keeps the texts of its first
  // `texts` marks and counts the rest: a lane of thousands of processes stays small.
  void add(const PictureScale &scale, std::uint64_t from, std::uint64_t to, int rank,
           std::string title, std::size_t texts, std::string label = {});
  const std::vector<Mark> &marks() const { return marks_; }
  bool empty() const { return marks_.empty(); }

 private:
  std::vector<Mark> marks_;
};

}  // namespace scenario
