// The number and duration parsers that verbs use for their arguments.
#include <gtest/gtest.h>

#include <string>

#include "scenario/Verbs.h"

namespace {

using scenario::LineError;

std::string refusal_of(void (*parse)(const std::string &), const std::string &text) {
  try {
    parse(text);
  } catch (const LineError &e) {
    return e.what();
  }
  return "(accepted)";
}

TEST(ParseU32, DecimalAndHexUpToTheFullRange) {
  EXPECT_EQ(scenario::parse_u32("0", "x"), 0u);
  EXPECT_EQ(scenario::parse_u32("300", "x"), 300u);
  EXPECT_EQ(scenario::parse_u32("4294967295", "x"), 4294967295u);
  EXPECT_EQ(scenario::parse_u32("0x1F", "x"), 0x1Fu);
  EXPECT_EQ(scenario::parse_u32("0XFFFFFFFF", "x"), 0xFFFFFFFFu);
}

TEST(ParseU32, SignsOverflowAndLeftoversAreRefusedNamingTheArgument) {
  for (std::string bad :
       {"", "-1", "+1", " 1", "1 ", "12a", "0x", "0x1G", "4294967296", "0x100000000", "1.0"}) {
    SCOPED_TRACE(bad);
    EXPECT_EQ(refusal_of([](auto &t) { scenario::parse_u32(t, "dword data"); }, bad),
              "bad dword data \"" + bad +
                  "\": expected a number from 0 to 4294967295 (decimal or 0x hex)");
  }
}

TEST(ParseU64, TakesSeedsUpToTheFullRange) {
  EXPECT_EQ(scenario::parse_u64("18446744073709551615", "seed"), 18446744073709551615u);
  EXPECT_EQ(scenario::parse_u64("0xDEADBEEFCAFE", "seed"), 0xDEADBEEFCAFEu);
  EXPECT_THROW(scenario::parse_u64("18446744073709551616", "seed"), LineError);
}

TEST(ParseI32, SignedDecimalAndHexAsABitPattern) {
  EXPECT_EQ(scenario::parse_i32("-2147483648", "x"), INT32_MIN);
  EXPECT_EQ(scenario::parse_i32("2147483647", "x"), INT32_MAX);
  EXPECT_EQ(scenario::parse_i32("-5", "x"), -5);
  EXPECT_EQ(scenario::parse_i32("0xFFFFFFFF", "x"), -1);
  EXPECT_EQ(scenario::parse_i32("-0x10", "x"), -16);
  for (std::string bad : {"2147483648", "-2147483649", "--1", "-", "0x100000000"}) {
    SCOPED_TRACE(bad);
    EXPECT_EQ(refusal_of([](auto &t) { scenario::parse_i32(t, "offset"); }, bad),
              "bad offset \"" + bad +
                  "\": expected a number from -2147483648 to 2147483647 (decimal or 0x hex)");
  }
}

TEST(ParseDouble, FiniteDecimalsOnly) {
  EXPECT_EQ(scenario::parse_double("41.5", "x"), 41.5);
  EXPECT_EQ(scenario::parse_double("-3", "x"), -3.0);
  EXPECT_EQ(scenario::parse_double("1e2", "x"), 100.0);
  for (std::string bad : {"", "abc", "nan", "inf", "4,5", "41.5C"}) {
    SCOPED_TRACE(bad);
    EXPECT_EQ(refusal_of([](auto &t) { scenario::parse_double(t, "temperature"); }, bad),
              "bad temperature \"" + bad + "\": expected a decimal number such as 41.5");
  }
}

TEST(ParseDuration, EveryUnitAndExactFractions) {
  EXPECT_EQ(scenario::parse_duration("0", "x"), 0u);
  EXPECT_EQ(scenario::parse_duration("250", "x"), 250u);
  EXPECT_EQ(scenario::parse_duration("250ms", "x"), 250u);
  EXPECT_EQ(scenario::parse_duration("1.5s", "x"), 1500u);
  EXPECT_EQ(scenario::parse_duration(".5s", "x"), 500u);
  EXPECT_EQ(scenario::parse_duration("0.001s", "x"), 1u);
  EXPECT_EQ(scenario::parse_duration("2m", "x"), 120000u);
  EXPECT_EQ(scenario::parse_duration("0.25m", "x"), 15000u);
  EXPECT_EQ(scenario::parse_duration("1h", "x"), 3600000u);
  EXPECT_EQ(scenario::parse_duration("301s", "x"), 301000u);
}

// Parts of a millisecond are refused, not rounded.
TEST(ParseDuration, PartsOfAMillisecondAndTooLargeAreRefused) {
  for (std::string bad : {"1.0005s", "0.5ms"}) {
    SCOPED_TRACE(bad);
    EXPECT_EQ(refusal_of([](auto &t) { scenario::parse_duration(t, "delay"); }, bad),
              "bad delay \"" + bad + "\": not a whole number of milliseconds, or too large");
  }
}

TEST(ParseDuration, UnknownUnitsAndMalformedNumbersAreRefused) {
  for (std::string bad : {"", "s", "1.s", "1..5s", "-1s", "+1s", "1 s", "2d", "1S", "1sec", "ms",
                          "5124095576030432h"}) {
    SCOPED_TRACE(bad);
    EXPECT_EQ(refusal_of([](auto &t) { scenario::parse_duration(t, "delay"); }, bad),
              "bad delay \"" + bad +
                  "\": expected a duration such as 250ms, 1.5s, 2m or 1h (a bare number is ms)");
  }
}

}  // namespace
