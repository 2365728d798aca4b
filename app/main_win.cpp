// The program on Windows: a GUI-subsystem process without a window of its
// own. Everything runs inside the process frame.

#include <windows.h>

#include "app/calibration.h"
#include "runtime/frame.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  tavrel::RunInstance([] { tavrel::StartRoutine(); });
}
