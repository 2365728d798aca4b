// A helper of the Windows black-box test: lists the message boxes open on the
// desktop, one line each, "<title>\t<text>" in UTF-8 with line breaks written
// as \n; with the argument "close" it also presses OK on each of them.

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>
#include <windows.h>

namespace {

constexpr int kStaticTextId = 0xFFFF;  // the text control of a message box

std::string AnsiToUtf8(const std::string& ansi) {
  if (ansi.empty()) return {};
  int wide = MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()), nullptr, 0);
  std::wstring buffer(static_cast<std::size_t>(wide), L'\0');
  MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()), buffer.data(), wide);
  int bytes = WideCharToMultiByte(CP_UTF8, 0, buffer.data(), wide, nullptr, 0, nullptr, nullptr);
  std::string utf8(static_cast<std::size_t>(bytes), '\0');
  WideCharToMultiByte(CP_UTF8, 0, buffer.data(), wide, utf8.data(), bytes, nullptr, nullptr);
  return utf8;
}

std::string Escaped(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\r') continue;
    if (c == '\n') {
      out += "\\n";
    } else {
      out += c;
    }
  }
  return out;
}

BOOL CALLBACK CollectDialog(HWND window, LPARAM parameter) {
  char className[64] = {};
  GetClassNameA(window, className, sizeof className);
  if (std::strcmp(className, "#32770") == 0 && IsWindowVisible(window)) {
    reinterpret_cast<std::vector<HWND>*>(parameter)->push_back(window);
  }
  return TRUE;
}

}  // namespace

int main(int argc, char** argv) {
  const bool close = argc > 1 && std::strcmp(argv[1], "close") == 0;
  std::vector<HWND> boxes;
  EnumWindows(CollectDialog, reinterpret_cast<LPARAM>(&boxes));
  for (HWND box : boxes) {
    char title[512] = {};
    char text[4096] = {};
    GetWindowTextA(box, title, sizeof title);
    GetDlgItemTextA(box, kStaticTextId, text, sizeof text);
    std::string line = AnsiToUtf8(title) + "\t" + Escaped(AnsiToUtf8(text)) + "\n";
    std::fwrite(line.data(), 1, line.size(), stdout);
    if (close) PostMessageA(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
  }
  std::fflush(stdout);
  return 0;
}
