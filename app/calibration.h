#pragma once

// The start routine and the calibration loop: every tick starts a worker that
// checks the hour of the local clock and, when a calibration is due, sets the
// clock from the network time source and reports the outcome in a box.

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>

#include "app/threads.h"
#include "runtime/values.h"
#include "time/date_time.h"

namespace tavrel {

inline constexpr std::int32_t kStartHour = 30;   // above every hour: the first check calibrates
inline constexpr std::int32_t kLoopBound = -1;   // the loop runs while lastHour is above it
inline constexpr std::uint32_t kTickMilliseconds = 9000;
inline constexpr std::int32_t kDesktopFolder = 3;  // SpecialFolderPath kind

// The only state of the loop: the hour recorded by the last check that found
// nothing to do, or read just after the last successful calibration. Shared
// by the main thread and the workers without a lock; every access is one
// whole-value relaxed read or write, the last writer winning.
extern std::atomic<std::int32_t> lastHour;

// Everything the start routine, the loop and the check ask of the system.
// The program wires the real services (PlatformServices); tests wire fakes.
struct AppServices {
  std::function<DateTime()> now;
  std::function<bool(DateTime)> setClock;
  std::function<DateTime()> fetchNetworkTime;
  std::function<std::int32_t(const AnsiText& text, std::uint32_t flags, const AnsiText& title)>
      showMessage;
  std::function<bool(ThreadBody body, void* argument)> startThread;
  std::function<void(std::uint32_t milliseconds)> sleep;
  std::function<void()> pumpMessages;

  std::function<void(const AnsiText& address)> openWebPage;
  std::function<std::optional<AnsiText>(std::int32_t kind)> specialFolderPath;
  std::function<std::optional<AnsiText>()> runDirectory;
  std::function<std::optional<AnsiText>()> exeFileName;
  std::function<bool(const AnsiText& fileName, const AnsiText& target, const AnsiText& description)>
      createShortcut;
  const char* pathSeparator = "";
};

// The services of this platform: clock, network time, message boxes, threads
// and shell actions.
const AppServices& PlatformServices();

// Opens the product page, writes the desktop shortcut, sets lastHour to 30
// and runs the calibration loop while lastHour is above -1, which it always
// is: in the program this never returns.
void StartRoutine();
void StartRoutine(const AppServices& services);

// One check, the body of each worker thread.
void CalibrationCheck();
void CalibrationCheck(const AppServices& services);

}  // namespace tavrel
