// FindText against memmem and string_view::find on large texts: the best of
// five runs of each search, in milliseconds. Not a test: run it by hand,
// build/host/bin/find_text_benchmark. (Timed with clock_gettime: <chrono>
// does not build with the GBK execution character set.)

#include <string.h>
#include <time.h>

#include <algorithm>
#include <cstdio>
#include <random>
#include <string>
#include <string_view>

#include "web/text_ops.h"

namespace {

using tavrel::FindText;

template <typename Search>
double BestMilliseconds(Search search) {
  double best = 1e9;
  for (int run = 0; run < 5; ++run) {
    timespec start{};
    timespec end{};
    clock_gettime(CLOCK_MONOTONIC, &start);
    volatile long found = search();
    (void)found;
    clock_gettime(CLOCK_MONOTONIC, &end);
    best = std::min(best, (end.tv_sec - start.tv_sec) * 1e3 + (end.tv_nsec - start.tv_nsec) / 1e6);
  }
  return best;
}

void Compare(const char* name, const std::string& text, const std::string& sub) {
  const double exact = BestMilliseconds([&] { return long{FindText(text, sub)}; });
  const double folded = BestMilliseconds([&] { return long{FindText(text, sub, 0, true)}; });
  const double system = BestMilliseconds([&] {
    const void* at = memmem(text.data(), text.size(), sub.data(), sub.size());
    return at != nullptr ? static_cast<long>(static_cast<const char*>(at) - text.data()) : -1L;
  });
  const double view = BestMilliseconds(
      [&] { return static_cast<long>(std::string_view(text).find(sub)); });
  std::printf("%-36s FindText %7.2f  ignoreCase %7.2f  memmem %7.2f  string_view::find %7.2f ms\n",
              name, exact, folded, system, view);
}

}  // namespace

int main() {
  const std::size_t size = std::size_t{16} << 20;
  std::mt19937 random(1);

  std::string letters;
  while (letters.size() < size) letters += static_cast<char>('a' + random() % 26);
  Compare("16 MB random letters, 8 B at the end", letters + "Needle8!", "Needle8!");

  std::string mixed;
  while (mixed.size() < size) mixed += random() % 4 == 0 ? "时间" : "ab c";
  Compare("16 MB ASCII and GBK, \"Date: \"", mixed + "Date: 1", "Date: ");

  std::string headers;
  while (headers.size() < size) headers += "X-Header-Name: some value here\r\n";
  Compare("16 MB header lines, \"\\r\\nDate:\"", headers + "Date: 1\r\n", "\r\nDate:");

  Compare("16 MB of a, 300 a and b (absent)", std::string(size, 'a'), std::string(300, 'a') + "b");

  std::string gbk;
  while (gbk.size() < size) gbk += "时间校准";
  Compare("16 MB two-byte text, Z at the end", gbk + "Z", "Z");
  return 0;
}
