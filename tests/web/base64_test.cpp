#include "web/base64.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tavrel {
namespace {

ByteBuffer BytesOf(std::string_view text) {
  return ByteBuffer(text.begin(), text.end());
}

TEST(Base64EncodeTest, EncodesRfc4648Vectors) {
  const std::vector<std::pair<std::string, std::string>> vectors = {
      {"", ""},
      {"f", "Zg=="},
      {"fo", "Zm8="},
      {"foo", "Zm9v"},
      {"foob", "Zm9vYg=="},
      {"fooba", "Zm9vYmE="},
      {"foobar", "Zm9vYmFy"},
      {"abc", "YWJj"},
  };
  for (const auto& [input, encoded] : vectors) {
    EXPECT_EQ(Base64Encode(BytesOf(input)), encoded) << input;
  }
}

TEST(Base64EncodeTest, EncodesEveryByteValue) {
  const std::vector<std::pair<ByteBuffer, std::string>> cases = {
      {{0x00}, "AA=="},
      {{0xFF}, "/w=="},
      {{0xFF, 0xFF, 0xFF}, "////"},
      {{0xFB, 0xEF, 0xBE}, "++++"},
      {{0x80, 0x81, 0xA1, 0xA1}, "gIGhoQ=="},
      // A zero byte inside is encoded, not taken as the end.
      {{'a', 0x00, 'b'}, "YQBi"},
      {{0x00, 0x00, 0x00, 0x00}, "AAAAAA=="},
      {{0x14, 0xFB, 0x9C, 0x03, 0xD9, 0x7E}, "FPucA9l+"},
      {{0x14, 0xFB, 0x9C, 0x03, 0xD9}, "FPucA9k="},
      {{0x14, 0xFB, 0x9C, 0x03}, "FPucAw=="},
  };
  for (const auto& [input, encoded] : cases) {
    EXPECT_EQ(Base64Encode(input), encoded) << encoded;
  }
}

TEST(Base64EncodeTest, EncodesProxyCredentialsOfGbkText) {
  // The user name and password of the proxy header are GBK texts.
  EXPECT_EQ(Base64Encode(BytesOf("用户:密码")), "08O7pzrD3MLr");
  EXPECT_EQ(Base64Encode(BytesOf("Aladdin:open sesame")), "QWxhZGRpbjpvcGVuIHNlc2FtZQ==");
}

TEST(Base64EncodeTest, WritesLongInputAsOneLineOfPaddedLength) {
  ByteBuffer input;
  for (int i = 0; i < 10000; ++i) input.push_back(static_cast<std::uint8_t>(i * 7));
  for (std::size_t length : {9998u, 9999u, 10000u}) {
    const ByteBuffer part(input.begin(), input.begin() + length);
    const AnsiText encoded = Base64Encode(part);
    EXPECT_EQ(encoded.size(), (length + 2) / 3 * 4);
    EXPECT_EQ(encoded.find_first_not_of(
                  "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/="),
              std::string::npos);
    const std::size_t padding = (3 - length % 3) % 3;
    EXPECT_EQ(encoded.find('='), padding ? encoded.size() - padding : std::string::npos);
  }
}

}  // namespace
}  // namespace tavrel
