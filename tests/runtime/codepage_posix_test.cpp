// GBK <-> UTF-8 on Linux.

#include <gtest/gtest.h>

#include <string>

#include "runtime/codepage.h"

namespace tavrel {
namespace {

TEST(Codepage, ConvertsBothWaysAndReplacesWhatDoesNotConvert) {
  struct Row {
    const char* label;
    std::string ansi;
    std::string utf8;
  };
  const Row rows[] = {
      {"ascii", "Tavrel v1.2", "Tavrel v1.2"},
      {"chinese", "Tavrel校时v1.2.lnk", "Tavrel\xE6\xA0\xA1\xE6\x97\xB6v1.2.lnk"},
      {"full-width space", "\xA1\xA1", "\xE3\x80\x80"},
      {"empty", "", ""},
      {"embedded NUL", std::string("a\0b", 3), std::string("a\0b", 3)},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(AnsiToUtf8(row.ansi), row.utf8) << row.label;
    EXPECT_EQ(Utf8ToAnsi(row.utf8), row.ansi) << row.label;
  }
  // A lead byte without its trail byte, and a character GBK lacks.
  EXPECT_EQ(AnsiToUtf8("a\xD6"), "a\xEF\xBF\xBD");
  EXPECT_EQ(Utf8ToAnsi("x\xF0\x9F\x98\x80y"), "x?y");
}

}  // namespace
}  // namespace tavrel
