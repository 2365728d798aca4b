// The Linux message box: one write to standard output, the title on its own
// line, then the text, converted from GBK to UTF-8 with LF line ends.

#include "app/message_box.h"

#include <gtest/gtest.h>

#include <string>
#include <unistd.h>

namespace tavrel {
namespace {

// Runs show with standard output going into a pipe; returns what was written.
template <typename Show>
std::string CaptureStdout(Show show, std::int32_t* result) {
  int fds[2];
  EXPECT_EQ(pipe(fds), 0);
  int saved = dup(STDOUT_FILENO);
  dup2(fds[1], STDOUT_FILENO);
  *result = show();
  dup2(saved, STDOUT_FILENO);
  close(saved);
  close(fds[1]);
  std::string out;
  char buffer[4096];
  ssize_t n;
  while ((n = read(fds[0], buffer, sizeof buffer)) > 0) out.append(buffer, static_cast<std::size_t>(n));
  close(fds[0]);
  return out;
}

std::string Utf8(const char8_t* text) { return reinterpret_cast<const char*>(text); }

TEST(MessageBoxPosixTest, WritesTitleAndTextInUtf8AndAnswersOk) {
  struct Case {
    const char* name;
    std::optional<AnsiText> title;
    AnsiText text;
    std::string expected;
  } cases[] = {
      {"given title", AnsiText("标题"), "\r\n\r\n第一行\r\n第二行 ok", Utf8(u8"标题\n\n\n第一行\n第二行 ok\n")},
      {"default title", std::nullopt, "内存不足", Utf8(u8"信息\n内存不足\n")},
      {"lone CR stays", AnsiText("t"), "a\rb\r\n", "t\na\rb\n\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::int32_t result = -5;
    std::string out = CaptureStdout([&] { return ShowMessage(c.text, 16, c.title); }, &result);
    EXPECT_EQ(out, c.expected);
    EXPECT_EQ(result, 0);
  }
}

}  // namespace
}  // namespace tavrel
