// The program on Linux: the same frame and start routine as on Windows; the
// boxes go to standard output.

#include "app/calibration.h"
#include "runtime/frame.h"

int main() {
  tavrel::RunInstance([] { tavrel::StartRoutine(); });
}
