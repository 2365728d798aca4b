#include "web/header_block.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <utility>
#include <vector>

namespace tavrel {
namespace {

// Pairs as plain name and value pairs, which GoogleTest compares and prints.
using Pairs = std::vector<std::pair<std::string, std::string>>;

Pairs PlainPairs(const std::vector<HeaderPair>& pairs) {
  Pairs plain;
  for (const HeaderPair& pair : pairs) plain.emplace_back(pair.name, pair.value);
  return plain;
}

struct BlockCase {
  const char* label;
  std::string block;
  std::string normalized;
  Pairs pairs;  // of the normalised block
};

void PrintTo(const BlockCase& c, std::ostream* out) {
  *out << c.label;
}

class NormalizeHeaderBlockTest : public ::testing::TestWithParam<BlockCase> {};

TEST_P(NormalizeHeaderBlockTest, KeepsHeaderLinesAndCapitalisesNames) {
  const BlockCase& c = GetParam();
  const AnsiText normalized = NormalizeHeaderBlock(c.block);
  EXPECT_EQ(normalized, c.normalized);
  EXPECT_EQ(PlainPairs(HeaderPairs(normalized)), c.pairs);
}

INSTANTIATE_TEST_SUITE_P(
    Table, NormalizeHeaderBlockTest,
    ::testing::Values(
        BlockCase{"three lines",
                  "content-type: text/plain\r\nx-requested-with: 1\r\naccept: */*",
                  "Content-Type: text/plain\r\nX-Requested-With: 1\r\nAccept: */*",
                  {{"Content-Type", "text/plain"}, {"X-Requested-With", "1"}, {"Accept", "*/*"}}},
        BlockCase{"only first letters change",
                  "USER-agent: a\r\nACCEPT: b",
                  "USER-Agent: a\r\nACCEPT: b",
                  {{"USER-Agent", "a"}, {"ACCEPT", "b"}}},
        BlockCase{"leading empty line", "\r\nhost: a\r\n", "Host: a", {{"Host", "a"}}},
        BlockCase{"lines without colon and space dropped",
                  "Host:example\r\nplain\r\n\r\nAccept: */*",
                  "Accept: */*",
                  {{"Accept", "*/*"}}},
        BlockCase{"empty value kept", "Referer: ", "Referer: ", {{"Referer", ""}}},
        BlockCase{"empty value without the space dropped", "Referer:", "", {}},
        // The value is everything after the first ": ", further ": " included.
        BlockCase{
            "value holding colon and space", "X-Note: a: b", "X-Note: a: b", {{"X-Note", "a: b"}}},
        BlockCase{
            "value ending in colon and space", "X-Note: a: ", "X-Note: a: ", {{"X-Note", "a:"}}},
        BlockCase{
            "value spaces kept", "x:  a  \r\ny: b", "X:  a  \r\nY: b", {{"X", "a"}, {"Y", "b"}}},
        BlockCase{"name ending in a dash", "x-: 1", "X: 1", {{"X", "1"}}},
        BlockCase{"two dashes and a leading dash",
                  "a--b: 1\r\n-a: 2",
                  "A--B: 1\r\n-A: 2",
                  {{"A--B", "1"}, {"-A", "2"}}},
        BlockCase{"dash only", "-: 1", ": 1", {{"", "1"}}},
        BlockCase{"leading space keeps the case", " x-y: 1", " x-Y: 1", {{"x-Y", "1"}}},
        BlockCase{"empty name", ": v", ": v", {{"", "v"}}},
        BlockCase{"same name twice", "a: 1\r\na: 2", "A: 1\r\nA: 2", {{"A", "1"}, {"A", "2"}}},
        BlockCase{"later colons stay in the value",
                  "X-Target: a:8080",
                  "X-Target: a:8080",
                  {{"X-Target", "a:8080"}}},
        BlockCase{"GBK name and value", "x-名: 值", "X-名: 值", {{"X-名", "值"}}},
        BlockCase{"full-width spaces trimmed from pairs", "a: 　b　", "A: 　b　", {{"A", "b"}}},
        BlockCase{"tab after the colon is no header line", "a:\tb", "", {}},
        BlockCase{"empty block", "", "", {}}));

TEST(CapitalizeFirstTest, ChangesOnlyALowerCaseFirstByte) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"agent", "Agent"},
      {"AGENT", "AGENT"},
      {"aGENT", "AGENT"},
      {"1a", "1a"},
      {"", ""},
      {"名a", "名a"},
      {"\x81"
       "a",
       "\x81"
       "a"},
  };
  for (const auto& [word, capitalized] : cases) EXPECT_EQ(CapitalizeFirst(word), capitalized);
}

TEST(HeaderNameValueTest, CutsAtFirstColonAndTrims) {
  struct Case {
    std::string line;
    std::string name;
    std::string value;
  };
  const std::vector<Case> cases = {
      {"Host: example", "Host", "example"},
      {" Host :  example ", "Host", "example"},
      {"Host:example", "Host", "example"},
      {"X-Target: a:8080", "X-Target", "a:8080"},
      {"Referer: ", "Referer", ""},
      {": v", "", "v"},
      {"no colon", "", ""},
      {"", "", ""},
      {"\tA:\tb\t", "\tA", "\tb\t"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(HeaderName(c.line), c.name) << c.line;
    EXPECT_EQ(HeaderValue(c.line), c.value) << c.line;
  }
}

TEST(HeaderPairsTest, TakesEveryNonEmptyLine) {
  // Blocks that did not come from normalisation still follow the line rule.
  EXPECT_EQ(PlainPairs(HeaderPairs("no colon")), (Pairs{{"", ""}}));
  EXPECT_EQ(PlainPairs(HeaderPairs("a: 1\r\n\r\nb: 2\r\n")), (Pairs{{"a", "1"}, {"b", "2"}}));
  EXPECT_EQ(PlainPairs(HeaderPairs("\r\n")), Pairs{});
}

}  // namespace
}  // namespace tavrel
