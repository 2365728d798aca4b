#include "web/cookies.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

namespace tavrel {
namespace {

struct MergeCase {
  const char* label;
  std::string sent;
  std::string received;
  std::string merged;
};

void PrintTo(const MergeCase& c, std::ostream* out) {
  *out << c.label;
}

class MergeCookiesTest : public ::testing::TestWithParam<MergeCase> {};

TEST_P(MergeCookiesTest, PutsReceivedFirstAndCarriesOverUnnamedSent) {
  const MergeCase& c = GetParam();
  AnsiText sent = c.sent;
  AnsiText received = c.received;
  EXPECT_EQ(MergeCookies(sent, received), c.merged);
  EXPECT_EQ(sent, c.merged);
  // The received text loses its spaces and nothing else.
  AnsiText withoutSpaces;
  for (char ch : c.received) {
    if (ch != ' ') withoutSpaces += ch;
  }
  EXPECT_EQ(received, withoutSpaces);
}

INSTANTIATE_TEST_SUITE_P(
    Table, MergeCookiesTest,
    ::testing::Values(MergeCase{"received win", "a=1; b=2", "b=3; c=4", "b=3; c=4; a=1"},
                      MergeCase{"deleted received drops the sent one", "a=1; b=2", "b=deleted",
                                "a=1"},
                      MergeCase{"deleted sent dropped", "a=deleted", "", ""},
                      MergeCase{"sent only", "a=1", "", "a=1"},
                      MergeCase{"received only", "", "a=1", "a=1"},
                      MergeCase{"both empty", "", "", ""},
                      MergeCase{"first of two sent with one name", "a=1; a=2", "", "a=1"},
                      MergeCase{"repeated received item once", "", "a=1; a=1", "a=1"},
                      MergeCase{"same name different items", "", "a=1; a=2", "a=1; a=2"},
                      MergeCase{"names count case", "SID=1", "sid=2", "sid=2; SID=1"},
                      MergeCase{"spaces removed inside items", "x = 1 2", "", "x=12"},
                      MergeCase{"upper-case DELETED stays", "", "a=DELETED", "a=DELETED"},
                      MergeCase{"value ending in =deleted dropped", "", "x=1=deleted", ""},
                      MergeCase{"bare deleted stays", "", "deleted", "deleted"},
                      MergeCase{"bare sent item carried over", "flag", "a=1", "a=1; flag"},
                      MergeCase{"bare sent item named by the response", "flag", "flag=1", "flag=1"},
                      MergeCase{"empty item inside kept", "", "a=1;;b=2", "a=1; ; b=2"},
                      MergeCase{"empty items at the end dropped", "", "a=1;;", "a=1"},
                      MergeCase{"separators without spaces", "a=1;b=2", "c=3", "c=3; a=1; b=2"},
                      MergeCase{"full-width spaces removed", "a\xA1\xA1=1", "", "a=1"},
                      MergeCase{"GBK values", "名=值", "名=新", "名=新"}));

TEST(CookieNameTest, TakesTrimmedTextBeforeFirstEquals) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"a=1", "a"},       {" a =1", "a"}, {"a=b=c", "a"}, {"flag", "flag"},
      {" flag ", "flag"}, {"=1", ""},     {"", ""},       {"名=值", "名"},
  };
  for (const auto& [item, name] : cases) EXPECT_EQ(CookieName(item), name) << item;
}

TEST(HasCookieNamedTest, ComparesNamesExactly) {
  const std::vector<AnsiText> items = {"a=1", "B=2", "flag", " c =3"};
  EXPECT_TRUE(HasCookieNamed(items, "a"));
  EXPECT_TRUE(HasCookieNamed(items, "flag"));
  EXPECT_TRUE(HasCookieNamed(items, "c"));
  EXPECT_FALSE(HasCookieNamed(items, "b"));
  EXPECT_FALSE(HasCookieNamed(items, "a=1"));
  EXPECT_FALSE(HasCookieNamed({}, ""));
}

TEST(RemoveDuplicateItemsTest, KeepsFirstOccurrenceOfEachItem) {
  struct Case {
    std::string text;
    std::string separator;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {"a=1; b=2; a=1; c=3; b=2", "; ", "a=1; b=2; c=3"},
      {"a=1; a=2", "; ", "a=1; a=2"},
      {"x,,y,,x", ",", "x,,y"},
      {"", "; ", ""},
      {"a; ", "; ", "a"},
      {"abc", "", "abc"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(RemoveDuplicateItems(c.text, c.separator), c.expected) << c.text;
  }
}

TEST(IndexOfTextTest, GivesOneBasedIndexOfFirstEqualElement) {
  const std::vector<AnsiText> list = {"a", "B", "", "a"};
  EXPECT_EQ(IndexOfText(list, "a"), 1);
  EXPECT_EQ(IndexOfText(list, "B"), 2);
  EXPECT_EQ(IndexOfText(list, ""), 3);
  EXPECT_EQ(IndexOfText(list, "b"), -1);
  EXPECT_EQ(IndexOfText({}, "a"), -1);
}

}  // namespace
}  // namespace tavrel
