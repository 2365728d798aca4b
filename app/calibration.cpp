#include "app/calibration.h"

#include "app/message_box.h"
#include "app/shell.h"
#include "app/texts.h"
#include "time/network_time.h"
#include "web/text_ops.h"

namespace tavrel {

std::atomic<std::int32_t> lastHour{kStartHour};

namespace {

std::int32_t ReadLastHour() { return lastHour.load(std::memory_order_relaxed); }
void WriteLastHour(std::int32_t hour) { lastHour.store(hour, std::memory_order_relaxed); }

// The worker's body; the services outlive every worker (the program's are
// static, a test's outlive its loop and its workers).
void RunCheck(void* services) { CalibrationCheck(*static_cast<const AppServices*>(services)); }

AnsiText OrEmpty(const std::optional<AnsiText>& text) { return text ? *text : AnsiText(); }

AppServices MakePlatformServices() {
  AppServices services;
  services.now = [] { return Now(); };
  services.setClock = [](DateTime value) { return SetClock(value); };
  services.fetchNetworkTime = [] { return FetchNetworkTime(); };
  services.showMessage = [](const AnsiText& text, std::uint32_t flags, const AnsiText& title) {
    return ShowMessage(text, flags, title);
  };
  services.startThread = [](ThreadBody body, void* argument) { return StartThread(body, argument); };
  services.sleep = [](std::uint32_t milliseconds) { SleepMilliseconds(milliseconds); };
  services.pumpMessages = [] { PumpMessages(); };
  services.openWebPage = [](const AnsiText& address) { OpenWebPage(address); };
  services.specialFolderPath = [](std::int32_t kind) { return SpecialFolderPath(kind); };
  services.runDirectory = [] { return RunDirectory(); };
  services.exeFileName = [] { return ExeFileName(); };
  services.createShortcut = [](const AnsiText& fileName, const AnsiText& target,
                               const AnsiText& description) {
    return CreateShortcut(fileName, target, description);
  };
  services.pathSeparator = kPathSeparator;
  return services;
}

}  // namespace

const AppServices& PlatformServices() {
  static const AppServices services = MakePlatformServices();
  return services;
}

void StartRoutine() { StartRoutine(PlatformServices()); }

void StartRoutine(const AppServices& services) {
  services.openWebPage(kProductPageAddress);

  // The shortcut's result is not looked at: the loop runs whether or not it
  // was written. Without a desktop folder the bare file name is used.
  const AnsiText desktop = OrEmpty(services.specialFolderPath(kDesktopFolder));
  const AnsiText runDirectory = OrEmpty(services.runDirectory());
  const AnsiText exeFileName = OrEmpty(services.exeFileName());
  services.createShortcut(JoinTexts({desktop, kShortcutFileName}),
                          JoinTexts({runDirectory, services.pathSeparator, exeFileName}),
                          kShortcutDescription);

  WriteLastHour(kStartHour);
  while (ReadLastHour() > kLoopBound) {
    // A thread that cannot be started costs this tick its check, no more.
    services.startThread(&RunCheck, const_cast<AppServices*>(&services));
    services.sleep(kTickMilliseconds);
    services.pumpMessages();
  }
}

void CalibrationCheck() { CalibrationCheck(PlatformServices()); }

void CalibrationCheck(const AppServices& services) {
  const std::int32_t hour = HourOf(services.now());
  if (hour < ReadLastHour()) {
    const DateTime beijingTime = services.fetchNetworkTime();
    if (services.setClock(beijingTime)) {
      WriteLastHour(HourOf(services.now()));
      services.showMessage(SuccessMessage(), kMB_ICONINFORMATION, kSuccessTitle);
    } else {
      // lastHour stays as it is, so every following tick tries again.
      services.showMessage(FailureMessage(), kMB_ICONERROR, kFailureTitle);
    }
  } else {
    // A second reading, not hour: a check across an hour boundary records the new hour.
    WriteLastHour(HourOf(services.now()));
  }
}

}  // namespace tavrel
