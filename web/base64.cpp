#include "web/base64.h"

#include <cstddef>

namespace tavrel {

AnsiText Base64Encode(std::span<const std::uint8_t> bytes) {
  static constexpr char kAlphabet[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  AnsiText text;
  if (bytes.empty()) return text;
  text.reserve((bytes.size() + 2) / 3 * 4);
  for (std::size_t i = 0; i < bytes.size(); i += 3) {
    // A short last group is filled with zero bytes; their characters become "=".
    const std::size_t present = bytes.size() - i < 3 ? bytes.size() - i : 3;
    const std::uint32_t b1 = bytes[i];
    const std::uint32_t b2 = present > 1 ? bytes[i + 1] : 0;
    const std::uint32_t b3 = present > 2 ? bytes[i + 2] : 0;
    text += kAlphabet[b1 >> 2];
    text += kAlphabet[((b1 & 3) << 4) | (b2 >> 4)];
    text += present > 1 ? kAlphabet[((b2 & 15) << 2) | (b3 >> 6)] : '=';
    text += present > 2 ? kAlphabet[b3 & 63] : '=';
  }
  return text;
}

}  // namespace tavrel
