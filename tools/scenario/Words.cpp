#include "scenario/Words.h"

#include "scenario/Verbs.h"

namespace scenario {
namespace {

bool is_blank(char c) {
  return c == ' ' || c == '\t';
}

}  // namespace

Words split_words(std::string_view line) {
  Words out;
  std::size_t i = 0;
  while (i < line.size()) {
    if (is_blank(line[i])) {
      ++i;
      continue;
    }
    if (line[i] == '#') break;
    std::size_t start = i;
    std::string word;
    while (i < line.size() && !is_blank(line[i])) {
      if (line[i] != '"') {
        word += line[i++];
        continue;
      }
      std::size_t close = line.find('"', i + 1);
      if (close == std::string_view::npos)
        throw LineError("the quote opened at column " + std::to_string(i + 1) + " is not closed");
      word.append(line.substr(i + 1, close - i - 1));
      i = close + 1;
    }
    out.words.push_back(std::move(word));
    out.starts.push_back(start);
    out.end = i;
  }
  return out;
}

}  // namespace scenario
