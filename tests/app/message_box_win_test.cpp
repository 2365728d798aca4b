// The Windows message box and the main thread's message pump, under a real
// (virtual) display: a watcher thread finds the box, reads its title and text
// and closes it with a button.

#include "app/message_box.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>
#include <windows.h>

#include "app/threads.h"

namespace tavrel {
namespace {

constexpr int kStaticTextId = 0xFFFF;  // the text control of a message box

struct SeenBox {
  std::string title;
  std::string text;
  bool found = false;
};

// Waits for a box titled title, reads it and presses button.
std::thread CloseBoxWith(const char* title, int button, SeenBox* seen) {
  return std::thread([title, button, seen] {
    for (int i = 0; i < 1000; ++i) {
      HWND box = FindWindowA(nullptr, title);
      if (box != nullptr) {
        char buffer[1024] = {};
        GetWindowTextA(box, buffer, sizeof buffer);
        seen->title = buffer;
        GetDlgItemTextA(box, kStaticTextId, buffer, sizeof buffer);
        seen->text = buffer;
        seen->found = true;
        PostMessageA(box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), 0);
        return;
      }
      Sleep(20);
    }
  });
}

TEST(MessageBoxWinTest, ShowsTitleAndTextAndAnswersButtonMinusOne) {
  struct Case {
    const char* name;
    std::optional<AnsiText> title;
    const char* expectedTitle;
    std::uint32_t flags;
    int button;
    std::int32_t expected;
  } cases[] = {
      {"OK of a titled box", AnsiText("Tavrel校时v1.2 - 错误"), "Tavrel校时v1.2 - 错误", MB_ICONERROR, IDOK, 0},
      {"default title", std::nullopt, "信息", MB_ICONINFORMATION, IDOK, 0},
      {"Cancel", AnsiText("两个按钮"), "两个按钮", MB_OKCANCEL, IDCANCEL, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SeenBox seen;
    std::thread watcher = CloseBoxWith(c.expectedTitle, c.button, &seen);
    std::int32_t result = ShowMessage("校对时间失败：第一行", c.flags, c.title);
    watcher.join();
    ASSERT_TRUE(seen.found);
    EXPECT_EQ(seen.title, c.expectedTitle);
    EXPECT_EQ(seen.text, "校对时间失败：第一行");
    EXPECT_EQ(result, c.expected);
  }
}

// A message-only window that writes down every message it is sent.
std::vector<UINT>* received = nullptr;

LRESULT CALLBACK RecordingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message >= WM_APP && received != nullptr) received->push_back(message);
  return DefWindowProcA(window, message, wParam, lParam);
}

TEST(PumpMessagesTest, DispatchesWhatIsQueuedAndStopsInFrontOfQuit) {
  WNDCLASSA windowClass = {};
  windowClass.lpfnWndProc = RecordingProc;
  windowClass.hInstance = GetModuleHandleA(nullptr);
  windowClass.lpszClassName = "TavrelPumpTest";
  ASSERT_NE(RegisterClassA(&windowClass), 0);
  HWND window = CreateWindowA("TavrelPumpTest", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                              windowClass.hInstance, nullptr);
  ASSERT_NE(window, nullptr);
  std::vector<UINT> messages;
  received = &messages;

  PostMessageA(window, WM_APP + 1, 0, 0);
  PostMessageA(window, WM_APP + 2, 0, 0);
  PostQuitMessage(7);
  PumpMessages();
  EXPECT_EQ(messages, (std::vector<UINT>{WM_APP + 1, WM_APP + 2}));

  // The quit message is still there; a second pump ends at once.
  PumpMessages();
  MSG message;
  ASSERT_TRUE(PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(message.message, static_cast<UINT>(WM_QUIT));
  EXPECT_EQ(message.wParam, 7u);

  // With an empty queue the pump returns without waiting.
  PumpMessages();
  EXPECT_FALSE(PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE));

  received = nullptr;
  DestroyWindow(window);
  UnregisterClassA("TavrelPumpTest", windowClass.hInstance);
}

}  // namespace
}  // namespace tavrel
