// The number and duration parsers that verbs use for their arguments.
#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "scenario/Verbs.h"

namespace {

using scenario::LineError;

// What the parser gives for the text, or the message it refuses it with.
template <typename Parse>
std::string parsed(Parse parse, const std::string &text) {
  try {
    return std::to_string(parse(text));
  } catch (const LineError &e) {
    return e.what();
  }
}

std::string u32(const std::string &t) {
  return parsed([](auto &s) { return scenario::parse_u32(s, "dword data"); }, t);
}
std::string i32(const std::string &t) {
  return parsed([](auto &s) { return scenario::parse_i32(s, "offset"); }, t);
}
std::string real(const std::string &t) {
  return parsed([](auto &s) { return scenario::parse_double(s, "temperature"); }, t);
}
std::string duration(const std::string &t) {
  return parsed([](auto &s) { return scenario::parse_duration(s, "delay"); }, t);
}

TEST(NumberParsers, TakeDecimalAndHexUpToTheFullRange) {
  // "text=value" pairs; the signed parser reads hex as a bit pattern.
  const std::pair<std::string (*)(const std::string &), const char *> accepted[] = {
      {u32, "0=0 300=300 4294967295=4294967295 0x1F=31 0XFFFFFFFF=4294967295"},
      {i32, "-2147483648=-2147483648 2147483647=2147483647 0xFFFFFFFF=-1 -0x10=-16"},
      {real, "41.5=41.500000 -3=-3.000000 1e2=100.000000"},
      {duration, "250=250 250ms=250 1.5s=1500 .5s=500 0.001s=1 0.25m=15000 1h=3600000"}};
  for (const auto &[parse, pairs] : accepted) {
    std::istringstream words(pairs);
    for (std::string w; words >> w;)
      EXPECT_EQ(parse(w.substr(0, w.find('='))), w.substr(w.find('=') + 1)) << w;
  }
  EXPECT_EQ(scenario::parse_u64("18446744073709551615", "seed"), 18446744073709551615u);
  EXPECT_EQ(scenario::parse_u64("0xDEADBEEFCAFE", "seed"), 0xDEADBEEFCAFEu);
  EXPECT_THROW(scenario::parse_u64("18446744073709551616", "seed"), LineError);
}

// Signs, overflow, leftovers and parts of a millisecond (not rounded) are refused, naming the
// argument.
TEST(NumberParsers, RefuseWhatIsNotANumberOfTheirKindNamingTheArgument) {
  const std::string u32_range = "\": expected a number from 0 to 4294967295 (decimal or 0x hex)";
  for (std::string bad :
       {"", "-1", "+1", " 1", "1 ", "12a", "0x", "0x1G", "4294967296", "0x100000000", "1.0"})
    EXPECT_EQ(u32(bad), "bad dword data \"" + bad + u32_range);
  for (std::string bad : {"2147483648", "-2147483649", "--1", "-", "0x100000000"})
    EXPECT_EQ(i32(bad), "bad offset \"" + bad +
                            "\": expected a number from -2147483648 to 2147483647 (decimal or 0x "
                            "hex)");
  for (std::string bad : {"", "abc", "nan", "inf", "4,5", "41.5C"})
    EXPECT_EQ(real(bad), "bad temperature \"" + bad + "\": expected a decimal number such as 41.5");
  for (std::string bad : {"1.0005s", "0.5ms"})
    EXPECT_EQ(duration(bad),
              "bad delay \"" + bad + "\": not a whole number of milliseconds, or too large");
  for (std::string bad : {"", "s", "1.s", "1..5s", "-1s", "+1s", "1 s", "2d", "1S", "1sec", "ms",
                          "5124095576030432h"})
    EXPECT_EQ(duration(bad),
              "bad delay \"" + bad +
                  "\": expected a duration such as 250ms, 1.5s, 2m or 1h (a bare number is ms)");
}

}  // namespace
