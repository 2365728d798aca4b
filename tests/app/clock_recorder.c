/* Loaded before the C library into the program under test: every attempt to
 * set the system clock is written to the file named by TAVREL_CLOCK_RECORD
 * ("clock_settime <clock> <seconds> <nanoseconds>" or "settimeofday <seconds>
 * <microseconds>") and reported as done, while the clock stays untouched. */

#define _GNU_SOURCE
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/time.h>
#include <time.h>
#include <unistd.h>

static void Record(const char* line, int length) {
  const char* path = getenv("TAVREL_CLOCK_RECORD");
  if (path == NULL || length <= 0) return;
  int fd = open(path, O_WRONLY | O_APPEND | O_CREAT, 0644);
  if (fd < 0) return;
  if (write(fd, line, (size_t)length) != length) {
    /* Nothing to do: the test sees the missing line. */
  }
  close(fd);
}

int clock_settime(clockid_t clock, const struct timespec* value) {
  char line[128];
  int length = snprintf(line, sizeof line, "clock_settime %d %lld %ld\n", (int)clock,
                        (long long)value->tv_sec, (long)value->tv_nsec);
  Record(line, length);
  return 0;
}

int settimeofday(const struct timeval* value, const struct timezone* zone) {
  (void)zone;
  char line[128];
  int length = snprintf(line, sizeof line, "settimeofday %lld %ld\n",
                        value ? (long long)value->tv_sec : -1LL, value ? (long)value->tv_usec : -1L);
  Record(line, length);
  return 0;
}
