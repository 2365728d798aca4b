// The exact member calls WebRequest makes on the request object, seen
// through a recording fake handed in as requestObject.

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/recording_object.h"
#include "web/web_request.h"

namespace tavrel {
namespace {

using testing::CallLog;
using testing::FakeResponse;
using testing::MakeRecordingObject;

constexpr const char* kUserAgent =
    "SetRequestHeader(\"User-Agent\", \"Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1)\")";
constexpr const char* kReads[] = {"get ResponseBody()", "get GetAllResponseHeaders()",
                                  "get Status()"};

std::vector<std::string> Lines(std::initializer_list<std::string> head, bool withReads = true) {
  std::vector<std::string> lines(head);
  if (withReads) lines.insert(lines.end(), std::begin(kReads), std::end(kReads));
  return lines;
}

struct CallCase {
  const char* name;
  std::function<void(WebRequestParams&)> setUp;
  std::vector<std::string> expected;
};

class WebRequestCalls : public ::testing::TestWithParam<CallCase> {};

TEST_P(WebRequestCalls, MakesExactlyTheseCallsInThisOrder) {
  auto log = std::make_shared<CallLog>();
  AutomationObject fake = MakeRecordingObject(log);
  WebRequestParams params;
  params.url = "http://t/";
  params.requestObject = &fake;
  GetParam().setUp(params);
  WebRequest(params);
  EXPECT_EQ(*log, GetParam().expected);
  // The caller's object survives the call and is still usable.
  ASSERT_TRUE(fake.object);
  log->clear();
  CallMethod(fake, "Open", {arg::Text("GET"), arg::Text("x"), arg::Logical(true)});
  EXPECT_EQ(*log, std::vector<std::string>{"Open(\"GET\", \"x\", true)"});
  ReleaseObject(fake);
}

const std::string kDefaultAccept = "SetRequestHeader(\"Accept\", \"*/*\")";
const std::string kDefaultReferer = "SetRequestHeader(\"Referer\", \"http://t/\")";
const std::string kDefaultLanguage = "SetRequestHeader(\"Accept-Language\", \"zh-cn\")";
const std::string kTimeouts15 = "SetTimeouts(15000, 15000, 15000, 15000)";
const std::string kCertificates = "put Option(4, 13056)";

INSTANTIATE_TEST_SUITE_P(Cases, WebRequestCalls,
                         ::
                             testing::
                                 Values(
                                     CallCase{
                                         "TimeSourceHead",
                                         [](WebRequestParams& p) { p.method = 2; },
                                         Lines({kTimeouts15, "Open(\"HEAD\", \"http://t/\", false)",
                                                kCertificates, kDefaultAccept, kDefaultReferer,
                                                kDefaultLanguage, kUserAgent, "Send(\"\")"})},
                                     CallCase{
                                         "PostAddsContentTypeAndSendsText",
                                         [](WebRequestParams& p) {
                                           p.method = 1;
                                           p.bodyText = "a=1";
                                         },
                                         Lines({kTimeouts15, "Open(\"POST\", \"http://t/\", false)",
                                                kCertificates, kDefaultAccept, kDefaultReferer,
                                                kDefaultLanguage, kUserAgent,
                                                "SetRequestHeader(\"Content-Type\", "
                                                "\"application/x-www-form-urlencoded\")",
                                                "Send(\"a=1\")"})},
                                     CallCase{
                                         "PutWithBytesHasNoContentType",
                                         [](WebRequestParams& p) {
                                           p.method = 3;
                                           p.bodyText = "ignored";
                                           p.bodyBytes = {0x00};
                                         },
                                         Lines({kTimeouts15, "Open(\"PUT\", \"http://t/\", false)",
                                                kCertificates, kDefaultAccept, kDefaultReferer,
                                                kDefaultLanguage, kUserAgent, "Send(bytes:00)"})},
                                     CallCase{
                                         "MethodOutOfRangeSendsGet",
                                         [](WebRequestParams& p) {
                                           p.method = 8;
                                           p.completeHeaders = false;
                                         },
                                         Lines({kTimeouts15, "Open(\"GET\", \"http://t/\", false)",
                                                kCertificates, "Send(\"\")"})},
                                     CallCase{
                                         "NegativeMethodSendsGet",
                                         [](WebRequestParams& p) {
                                           p.method = -1;
                                           p.completeHeaders = false;
                                         },
                                         Lines({kTimeouts15, "Open(\"GET\", \"http://t/\", false)",
                                                kCertificates, "Send(\"\")"})},
                                     CallCase{"TimeoutMinusOneLeavesTimeoutsAlone",
                                              [](WebRequestParams& p) {
                                                p.timeoutSeconds = -1;
                                                p.completeHeaders = false;
                                              },
                                              Lines({"Open(\"GET\", \"http://t/\", false)",
                                                     kCertificates, "Send(\"\")"})},
                                     CallCase{
                                         "TimeoutBelowOneIsFifteenSeconds",
                                         [](WebRequestParams& p) {
                                           p.timeoutSeconds = -5;
                                           p.completeHeaders = false;
                                         },
                                         Lines({kTimeouts15, "Open(\"GET\", \"http://t/\", false)",
                                                kCertificates, "Send(\"\")"})},
                                     CallCase{"TimeoutInSecondsBecomesMilliseconds",
                                              [](WebRequestParams& p) {
                                                p.timeoutSeconds = 30;
                                                p.completeHeaders = false;
                                              },
                                              Lines({"SetTimeouts(30000, 30000, 30000, 30000)",
                                                     "Open(\"GET\", \"http://t/\", false)",
                                                     kCertificates, "Send(\"\")"})},
                                     CallCase{"HugeTimeoutIsHeldToTheLargestValue",
                                              [](WebRequestParams& p) {
                                                p.timeoutSeconds = 3000000;
                                                p.completeHeaders = false;
                                              },
                                              Lines({"SetTimeouts(2147483647, 2147483647, "
                                                     "2147483647, 2147483647)",
                                                     "Open(\"GET\", \"http://t/\", false)",
                                                     kCertificates, "Send(\"\")"})},
                                     CallCase{
                                         "NoRedirectWritesOptionSixBeforeCertificates",
                                         [](WebRequestParams& p) {
                                           p.noRedirect = true;
                                           p.completeHeaders = false;
                                         },
                                         Lines({kTimeouts15, "Open(\"GET\", \"http://t/\", false)",
                                                "put Option(6, 0)", kCertificates, "Send(\"\")"})},
                                     CallCase{"ProxyWithCredentials",
                                              [](WebRequestParams& p) {
                                                p.proxyServer = "proxy:8080";
                                                p.proxyUser = "Aladdin";
                                                p.proxyPassword = "open sesame";
                                                p.completeHeaders = false;
                                              },
                                              Lines({kTimeouts15, "SetProxy(2, \"proxy:8080\")",
                                                     "Open(\"GET\", \"http://t/\", false)",
                                                     kCertificates,
                                                     "SetRequestHeader(\"Proxy-Authorization\", "
                                                     "\"Basic QWxhZGRpbjpvcGVuIHNlc2FtZQ==\")",
                                                     "Send(\"\")"})},
                                     CallCase{"ProxyEmptyPasswordStillHasTheColon",
                                              [](WebRequestParams& p) {
                                                p.proxyServer = "proxy";
                                                p.proxyUser = "u";
                                                p.completeHeaders = false;
                                              },
                                              Lines({kTimeouts15, "SetProxy(2, \"proxy\")",
                                                     "Open(\"GET\", \"http://t/\", false)",
                                                     kCertificates,
                                                     "SetRequestHeader(\"Proxy-Authorization\", "
                                                     "\"Basic dTo=\")",
                                                     "Send(\"\")"})},
                                     CallCase{"ProxyWithOtherAuthKindSendsNoCredentials",
                                              [](WebRequestParams& p) {
                                                p.proxyServer = "proxy";
                                                p.proxyUser = "u";
                                                p.proxyAuthKind = 2;
                                                p.completeHeaders = false;
                                              },
                                              Lines({kTimeouts15, "SetProxy(2, \"proxy\")",
                                                     "Open(\"GET\", \"http://t/\", false)",
                                                     kCertificates, "Send(\"\")"})},
                                     CallCase{
                                         "UserWithoutProxyIsIgnored",
                                         [](WebRequestParams& p) {
                                           p.proxyUser = "u";
                                           p.completeHeaders = false;
                                         },
                                         Lines({kTimeouts15, "Open(\"GET\", \"http://t/\", false)",
                                                kCertificates, "Send(\"\")"})},
                                     CallCase{
                                         "CookiesSuppliedEmptyStillSendACookieHeader",
                                         [](WebRequestParams& p) {
                                           p.cookies = "";
                                           p.completeHeaders = false;
                                         },
                                         Lines({kTimeouts15, "Open(\"GET\", \"http://t/\", false)",
                                                kCertificates, "SetRequestHeader(\"Cookie\", \"\")",
                                                "Send(\"\")"})},
                                     CallCase{"CredentialsThenCookieThenHeaderLines",
                                              [](WebRequestParams& p) {
                                                p.cookies = "a=1; b=2";
                                                p.proxyServer = "proxy";
                                                p.proxyUser = "u";
                                                p.proxyPassword = "p";
                                                p.requestHeaders = "cookie: x=9\r\nx-accept: 1";
                                              },
                                              Lines({kTimeouts15, "SetProxy(2, \"proxy\")",
                                                     "Open(\"GET\", \"http://t/\", false)",
                                                     kCertificates,
                                                     "SetRequestHeader(\"Proxy-Authorization\", "
                                                     "\"Basic dTpw\")",
                                                     "SetRequestHeader(\"Cookie\", \"a=1; b=2\")",
                                                     "SetRequestHeader(\"Cookie\", \"x=9\")",
                                                     // "X-Accept:" already holds "Accept:": no
                                                     // default Accept line.
                                                     "SetRequestHeader(\"X-Accept\", \"1\")",
                                                     kDefaultReferer, kDefaultLanguage, kUserAgent,
                                                     "Send(\"\")"})},
                                     CallCase{
                                         "CompletionSearchesBeforeNormalising",
                                         [](WebRequestParams& p) {
                                           // Completion sees "Accept:" and adds none;
                                           // normalising then drops the line for lack of a
                                           // space after the colon.
                                           p.requestHeaders =
                                               "Accept:text/html\r\nACCEPT-LANGUAGE: en";
                                         },
                                         Lines({kTimeouts15, "Open(\"GET\", \"http://t/\", false)",
                                                kCertificates,
                                                "SetRequestHeader(\"ACCEPT-LANGUAGE\", "
                                                "\"en\")",
                                                kDefaultReferer, kUserAgent, "Send(\"\")"})},
                                     CallCase{
                                         "CompletionOffSendsOnlyTheCallersLines",
                                         [](WebRequestParams& p) {
                                           p.completeHeaders = false;
                                           p.requestHeaders =
                                               "x-target: a:8080\r\n\r\nbad line\r\nuser-agent: me";
                                         },
                                         Lines({kTimeouts15, "Open(\"GET\", \"http://t/\", false)",
                                                kCertificates,
                                                "SetRequestHeader(\"X-Target\", \"a:8080\")",
                                                "SetRequestHeader(\"User-Agent\", \"me\")",
                                                "Send(\"\")"})},
                                     CallCase{"EmptyUrlStillRunsEveryStep",
                                              [](WebRequestParams& p) {
                                                p.url = "";
                                                p.method = 2;
                                              },
                                              Lines({kTimeouts15, "Open(\"HEAD\", \"\", false)",
                                                     kCertificates, kDefaultAccept,
                                                     "SetRequestHeader(\"Referer\", \"\")",
                                                     kDefaultLanguage, kUserAgent, "Send(\"\")"})}),
                         [](const ::testing::TestParamInfo<CallCase>& info) {
                           return std::string(info.param.name);
                         });

TEST(WebRequestResults, OutputsComeFromTheObjectsAnswers) {
  auto log = std::make_shared<CallLog>();
  FakeResponse response;
  response.body = {'h', 'i', 0, 0xFF};
  response.headers =
      "Date: x\r\nSet-Cookie: a=1; path=/\r\nset-cookie: z=9\r\nSet-Cookie:nospace=1\r\n"
      "Set-Cookie: b=2\r\nSet-Cookie:    ; path=/\r\nSet-Cookie: c=3\r\n\r\n";
  response.status = 404;
  AutomationObject fake = MakeRecordingObject(log, response);

  AnsiText headers = "old";
  AnsiText cookies = "old";
  std::int32_t status = -7;
  const ByteBuffer body = WebRequest({.url = "http://t/",
                                      .returnedCookies = &cookies,
                                      .responseHeaders = &headers,
                                      .statusCode = &status,
                                      .requestObject = &fake});
  EXPECT_EQ(body, (ByteBuffer{'h', 'i', 0, 0xFF}));
  EXPECT_EQ(headers, response.headers);
  EXPECT_EQ(status, 404);
  // Other letter case and a missing space contribute nothing; an item of
  // spaces only gives an empty item.
  EXPECT_EQ(cookies, "a=1; b=2; ; c=3");
  ReleaseObject(fake);
}

struct MergeCase {
  const char* name;
  std::optional<AnsiText> cookies;
  bool mergeCookies;
  AnsiText setCookieLines;
  AnsiText expected;
};

class WebRequestCookies : public ::testing::TestWithParam<MergeCase> {};

TEST_P(WebRequestCookies, ReturnedCookiesAreMergedOnlyWhenCookiesWereSupplied) {
  auto log = std::make_shared<CallLog>();
  FakeResponse response;
  response.headers = GetParam().setCookieLines;
  AutomationObject fake = MakeRecordingObject(log, response);
  AnsiText returned = "untouched";
  WebRequest({.url = "http://t/",
              .cookies = GetParam().cookies,
              .returnedCookies = &returned,
              .requestObject = &fake,
              .mergeCookies = GetParam().mergeCookies});
  EXPECT_EQ(returned, GetParam().expected);
  ReleaseObject(fake);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, WebRequestCookies,
    ::testing::Values(MergeCase{"NotSuppliedNoMerge", std::nullopt, true,
                                "Set-Cookie: a=1; path=/\r\nSet-Cookie: b=2\r\n", "a=1; b=2"},
                      MergeCase{"SuppliedMerged", AnsiText("a=0; x=5"), true,
                                "Set-Cookie: a=1; path=/\r\nSet-Cookie: b=deleted\r\n", "a=1; x=5"},
                      MergeCase{"SuppliedNothingReturned", AnsiText("a = 1 ; b=2"), true, "",
                                "a=1; b=2"},
                      MergeCase{"MergeOff", AnsiText("x=5"), false, "Set-Cookie: a=1\r\n", "a=1"},
                      MergeCase{"NothingAtAll", std::nullopt, true, "", ""}),
    [](const ::testing::TestParamInfo<MergeCase>& info) { return std::string(info.param.name); });

// A supplied handle without an object is a failed exchange, not a failed
// creation: every call fails and the reads give their empty results. (The
// creation failure itself is shown on Linux, where a factory can be taken away.)
TEST(WebRequestResults, ASuppliedEmptyHandleGivesTheOutputsOfAFailedExchange) {
  AutomationObject empty;
  AnsiText headers = "old";
  AnsiText cookies = "old";
  std::int32_t status = 99;
  const ByteBuffer body = WebRequest({.url = "http://t/",
                                      .cookies = AnsiText("a=1"),
                                      .returnedCookies = &cookies,
                                      .responseHeaders = &headers,
                                      .statusCode = &status,
                                      .requestObject = &empty});
  EXPECT_TRUE(body.empty());
  EXPECT_EQ(headers, "");
  EXPECT_EQ(status, 0);
  EXPECT_EQ(cookies, "a=1");
}

}  // namespace
}  // namespace tavrel
