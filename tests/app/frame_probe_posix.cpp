#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>

namespace tavrel::testing {

void LimitAddressSpace() {
  // Pages in use now (first field of statm), plus 128 MB.
  unsigned long pages = 0;
  if (std::FILE* statm = std::fopen("/proc/self/statm", "r")) {
    if (std::fscanf(statm, "%lu", &pages) != 1) pages = 0;
    std::fclose(statm);
  }
  rlim_t limit = static_cast<rlim_t>(pages) * static_cast<rlim_t>(sysconf(_SC_PAGESIZE)) + (128u << 20);
  struct rlimit value = {limit, limit};
  setrlimit(RLIMIT_AS, &value);
}

}  // namespace tavrel::testing
