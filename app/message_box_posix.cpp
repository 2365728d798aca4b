#include "app/message_box.h"

#include <cerrno>
#include <string>
#include <unistd.h>

#include "app/texts.h"
#include "runtime/codepage.h"

namespace tavrel {
namespace {

// Line breaks of the boxes' texts are CR LF; a terminal wants LF.
std::string ToLineFeeds(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    out += text[i];
  }
  return out;
}

// One write(2) for the whole box, so that boxes of several workers do not
// interleave; the loop only finishes a write the kernel cut short.
void WriteAll(const std::string& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = ::write(STDOUT_FILENO, bytes.data() + done, bytes.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return;
    }
    done += static_cast<std::size_t>(n);
  }
}

}  // namespace

std::int32_t ShowMessage(const AnsiText& text, std::uint32_t /*flags*/,
                         const std::optional<AnsiText>& title, std::optional<std::intptr_t> /*owner*/) {
  const AnsiText caption = title ? *title : AnsiText(kDefaultMessageTitle);
  WriteAll(ToLineFeeds(AnsiToUtf8(caption + "\r\n" + text + "\r\n")));
  return 0;  // IDOK - 1
}

}  // namespace tavrel
