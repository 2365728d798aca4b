// Real exchanges with a loopback server the test starts itself: libcurl
// behind the request object on Linux, the platform's request object under
// Windows.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "tests/support/loopback_server.h"
#include "time/date_time.h"
#include "time/network_time.h"
#include "web/text_ops.h"
#include "web/web_request.h"

namespace tavrel {
namespace {

using testing::LoopbackServer;
using testing::RecordedRequest;
using testing::ScriptedResponse;

ScriptedResponse Answer(int status, std::vector<std::string> headers, std::string body = "") {
  ScriptedResponse response;
  response.status = status;
  response.reason = status == 200 ? "OK" : "Other";
  response.headers = std::move(headers);
  response.body = std::move(body);
  return response;
}

bool Contains(const AnsiText& text, std::string_view part) {
  return text.find(part) != AnsiText::npos;
}

class WebRequestExchange : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(server.Started()); }
  LoopbackServer server;
};

TEST_F(WebRequestExchange, TimeSourceGivesBeijingTimeFromTheDateHeader) {
  server.SetDefault(Answer(200, {"Server: test", "Date: Mon, 07 Dec 2020 03:04:05 GMT"}, "ignored"));
  const DateTime beijing = FetchNetworkTime(server.Url());
  EXPECT_EQ(SplitDateTime(beijing), (DateFields{2020, 12, 7, 11, 4, 5}));

  const auto requests = server.Requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].method, "HEAD");
  // The four default headers arrive in this order (the client may add its own).
  const std::vector<std::string> expected = {
      "Accept: */*", "Referer: " + server.Url(), "Accept-Language: zh-cn",
      "User-Agent: Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1)"};
  std::vector<std::string> seen;
  for (const std::string& line : requests[0].headerLines) {
    if (std::find(expected.begin(), expected.end(), line) != expected.end()) seen.push_back(line);
  }
  EXPECT_EQ(seen, expected);
}

TEST_F(WebRequestExchange, TimeSourceAcrossMidnightAndYearEnd) {
  server.SetDefault(Answer(200, {"Date: Fri, 31 Dec 2021 23:59:59 GMT"}));
  EXPECT_EQ(SplitDateTime(FetchNetworkTime(server.Url())), (DateFields{2022, 1, 1, 7, 59, 59}));
}

TEST_F(WebRequestExchange, ErrorStatusWithDateIsStillUsed) {
  server.SetDefault(Answer(404, {"Date: Tue, 15 Nov 1994 16:00:00 GMT"}));
  EXPECT_EQ(SplitDateTime(FetchNetworkTime(server.Url())), (DateFields{1994, 11, 16, 0, 0, 0}));
}

TEST_F(WebRequestExchange, NoUsableDateGivesAValueTheClockRefuses) {
  const DateTime refused = AddInterval(MakeDateTime(0), 6, 8);
  for (const char* header : {"X-Nothing: 1", "date: Mon, 07 Dec 2020 03:04:05 GMT",
                             "Date: Mon, 07 Dec 2020 03:04:05", "Date: yesterday"}) {
    server.SetDefault(Answer(200, {header}));
    const DateTime value = FetchNetworkTime(server.Url());
    EXPECT_EQ(value, refused) << header;
    EXPECT_FALSE(SetClock(value)) << header;
  }
}

TEST_F(WebRequestExchange, HeadReturnsHeadersAndStatusButNoBody) {
  server.SetDefault(Answer(200, {"X-Test: 1"}, "a body"));
  AnsiText headers;
  std::int32_t status = 0;
  const ByteBuffer body = WebRequest(
      {.url = server.Url(), .method = 2, .responseHeaders = &headers, .statusCode = &status});
  EXPECT_TRUE(body.empty());
  EXPECT_EQ(status, 200);
  EXPECT_TRUE(Contains(headers, "X-Test: 1\r\n")) << headers;
}

TEST_F(WebRequestExchange, PostSendsTheTextBodyAndReturnsTheAnswer) {
  server.SetDefault(Answer(201, {"Content-Type: text/plain"}, std::string("r\0s", 3)));
  std::int32_t status = 0;
  const ByteBuffer body = WebRequest(
      {.url = server.Url("/form"), .method = 1, .bodyText = "a=1&b=2", .statusCode = &status});
  EXPECT_EQ(body, (ByteBuffer{'r', 0, 's'}));
  EXPECT_EQ(status, 201);
  const auto requests = server.Requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].method, "POST");
  EXPECT_EQ(requests[0].target, "/form");
  EXPECT_EQ(requests[0].body, "a=1&b=2");
  const auto& lines = requests[0].headerLines;
  EXPECT_NE(std::find(lines.begin(), lines.end(),
                      "Content-Type: application/x-www-form-urlencoded"),
            lines.end());
}

TEST_F(WebRequestExchange, BodyBytesAreSentAsBytes) {
  server.SetDefault(Answer(200, {}));
  WebRequest({.url = server.Url(), .method = 3, .bodyText = "not this",
              .bodyBytes = {0x00, 0xFF, 0x41}});
  const auto requests = server.Requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].method, "PUT");
  EXPECT_EQ(requests[0].body, std::string("\0\xFF" "A", 3));
}

TEST_F(WebRequestExchange, SetCookiesAreCollectedAndMergedWithTheSentOnes) {
  server.SetDefault(Answer(200, {"Set-Cookie: a=1; path=/", "Set-Cookie: b=deleted",
                                 "Set-Cookie: c=3"}));
  AnsiText returned;
  WebRequest({.url = server.Url(), .cookies = AnsiText("b=2; x=9"), .returnedCookies = &returned});
  EXPECT_EQ(returned, "a=1; c=3; x=9");
  const auto requests = server.Requests();
  ASSERT_EQ(requests.size(), 1u);
  const auto& lines = requests[0].headerLines;
  EXPECT_NE(std::find(lines.begin(), lines.end(), "Cookie: b=2; x=9"), lines.end());

  WebRequest({.url = server.Url(), .returnedCookies = &returned});
  EXPECT_EQ(returned, "a=1; b=deleted; c=3");
}

TEST_F(WebRequestExchange, RedirectsAreFollowedUnlessSwitchedOff) {
  server.Route("/old", testing::Redirect(server.Url("/new")));
  server.Route("/new", Answer(200, {"X-Final: yes"}, "new"));

  AnsiText headers;
  std::int32_t status = 0;
  ByteBuffer body = WebRequest(
      {.url = server.Url("/old"), .responseHeaders = &headers, .statusCode = &status});
  EXPECT_EQ(status, 200);
  EXPECT_EQ(AnsiText(body.begin(), body.end()), "new");
  EXPECT_TRUE(Contains(headers, "X-Final: yes\r\n")) << headers;

  body = WebRequest({.url = server.Url("/old"),
                     .responseHeaders = &headers,
                     .statusCode = &status,
                     .noRedirect = true});
  EXPECT_EQ(status, 302);
  EXPECT_TRUE(Contains(headers, "Location: " + server.Url("/new"))) << headers;
  EXPECT_FALSE(Contains(headers, "X-Final"));
}

TEST(WebRequestFailure, ConnectionRefusedGivesTheOutputsOfAFailedExchange) {
  const std::string url =
      "http://127.0.0.1:" + std::to_string(testing::UnusedLoopbackPort()) + "/";
  AnsiText headers = "old";
  AnsiText cookies = "old";
  std::int32_t status = 7;
  const ByteBuffer body = WebRequest({.url = url,
                                      .cookies = AnsiText("a=1"),
                                      .returnedCookies = &cookies,
                                      .responseHeaders = &headers,
                                      .statusCode = &status,
                                      .timeoutSeconds = 5});
  EXPECT_TRUE(body.empty());
  EXPECT_EQ(headers, "");
  EXPECT_EQ(status, 0);
  EXPECT_EQ(cookies, "a=1");
  EXPECT_EQ(FetchNetworkTime(url), AddInterval(MakeDateTime(0), 6, 8));
}

}  // namespace
}  // namespace tavrel
