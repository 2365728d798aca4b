// GBK <-> UTF-8 through iconv. GB18030 is used for decoding since it is a
// superset of GBK (and of code page 936) that maps every byte sequence the
// program can hold; invalid input becomes U+FFFD / '?' instead of failing.

#include <iconv.h>

#include <cerrno>
#include <string>
#include <string_view>

#include "runtime/codepage.h"

namespace tavrel {

namespace {

class Converter {
 public:
  Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
  ~Converter() {
    if (Valid()) iconv_close(cd_);
  }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;
  bool Valid() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

  // Converts the whole input; an unconvertible or cut-off sequence is
  // skipped (badLength tells how long it is) and replacement put in its place.
  template <typename BadLength>
  std::string Run(std::string_view input, std::string_view replacement, BadLength badLength) {
    std::string out;
    if (!Valid()) return std::string(input);
    char* in = const_cast<char*>(input.data());
    size_t inLeft = input.size();
    char buffer[1024];
    while (inLeft > 0) {
      char* dst = buffer;
      size_t dstLeft = sizeof buffer;
      size_t rc = iconv(cd_, &in, &inLeft, &dst, &dstLeft);
      out.append(buffer, sizeof buffer - dstLeft);
      if (rc == static_cast<size_t>(-1) && errno != E2BIG) {
        // EILSEQ or EINVAL: skip the offending bytes and carry on.
        size_t skip = badLength(static_cast<unsigned char>(*in));
        if (skip > inLeft) skip = inLeft;
        in += skip;
        inLeft -= skip;
        out.append(replacement);
        iconv(cd_, nullptr, nullptr, nullptr, nullptr);
      }
    }
    char* dst = buffer;
    size_t dstLeft = sizeof buffer;
    iconv(cd_, nullptr, nullptr, &dst, &dstLeft);
    out.append(buffer, sizeof buffer - dstLeft);
    return out;
  }

 private:
  iconv_t cd_;
};

}  // namespace

std::string AnsiToUtf8(std::string_view ansi) {
  Converter converter("UTF-8", "GB18030");
  return converter.Run(ansi, "\xEF\xBF\xBD", [](unsigned char) { return size_t{1}; });
}

AnsiText Utf8ToAnsi(std::string_view utf8) {
  Converter converter("GBK", "UTF-8");
  // A character GBK lacks counts once, however many UTF-8 bytes it takes.
  return converter.Run(utf8, "?", [](unsigned char lead) {
    if (lead >= 0xF0 && lead < 0xF8) return size_t{4};
    if (lead >= 0xE0 && lead < 0xF0) return size_t{3};
    if (lead >= 0xC0 && lead < 0xE0) return size_t{2};
    return size_t{1};
  });
}

}  // namespace tavrel
