// Splitting a scenario line into words: blanks separate words, double quotes keep blanks
// inside one word (the quotes themselves are dropped, backslashes stay as written), and a '#'
// that begins a word outside quotes starts a comment that runs to the end of the line.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace scenario {

struct Words {
  std::vector<std::string> words;   // quotes removed
  std::vector<std::size_t> starts;  // offset of each word in the line (at its opening quote)
  std::size_t end = 0;              // offset just past the last word: comment and blanks cut
};

// Throws LineError for a quote that is not closed.
Words split_words(std::string_view line);

}  // namespace scenario
