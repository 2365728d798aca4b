// The libcurl request object, driven through the bridge as the request
// function drives it, against the loopback server.

#include <gtest/gtest.h>

#include <unistd.h>

#include <atomic>
#include <memory>
#include <thread>
#include <string>
#include <vector>

#include "runtime/automation.h"
#include "runtime/automation_posix.h"
#include "runtime/com_library.h"
#include "runtime/http_request_posix.h"
#include "tests/support/loopback_server.h"

namespace tavrel {
namespace {

using testing::LoopbackServer;
using testing::RecordedRequest;
using testing::ScriptedResponse;

constexpr std::int32_t Code(std::uint32_t winHttpError) { return HresultFromWin32(winHttpError); }

std::string BodyText(AutomationObject& request) {
  AutomationValue body = ReadValue(request, "ResponseBody");
  ByteBuffer bytes = ValueToBytes(body);
  ClearValue(body);
  return std::string(bytes.begin(), bytes.end());
}

bool HasLine(const std::vector<std::string>& lines, const std::string& line) {
  for (const std::string& candidate : lines) {
    if (candidate == line) return true;
  }
  return false;
}

class HttpRequestTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(server_.Started());
    ASSERT_TRUE(CreateObject(request_, AnsiText("WinHttp.WinHttpRequest.5.1")));
  }
  void TearDown() override { ReleaseObject(request_); }

  void Open(const char* method, const std::string& url) {
    CallMethod(request_, "Open", {arg::Text(method), arg::Text(url), arg::Logical(false)});
    EXPECT_EQ(request_.lastResult, kS_OK) << method << " " << url;
  }
  void Send(BridgeArgument body = arg::Text("")) { CallMethod(request_, "Send", {body}); }

  ComScope scope_;
  LoopbackServer server_;
  AutomationObject request_;
};

TEST_F(HttpRequestTest, HeadGivesTheHeaderLinesWithoutStatusLineAndNoBody) {
  ScriptedResponse answer;
  answer.headers = {"Date: Tue, 05 Mar 2024 04:05:06 GMT", "Server: loop"};
  answer.body = "not sent to HEAD";
  server_.SetDefault(answer);
  Open("HEAD", server_.Url("/"));
  Send();
  EXPECT_EQ(request_.lastResult, kS_OK);
  EXPECT_EQ(ReadText(request_, "GetAllResponseHeaders"),
            "Date: Tue, 05 Mar 2024 04:05:06 GMT\r\nServer: loop\r\nContent-Length: 16\r\n"
            "Connection: close\r\n\r\n");
  EXPECT_EQ(ReadNumber(request_, "Status"), 200);
  EXPECT_EQ(BodyText(request_), "");
  ASSERT_EQ(server_.Requests().size(), 1u);
  EXPECT_EQ(server_.Requests()[0].method, "HEAD");
}

TEST_F(HttpRequestTest, GetReturnsTheBodyBytesAndTheStatusOfAnErrorAnswer) {
  ScriptedResponse answer;
  answer.status = 404;
  answer.reason = "Not Found";
  answer.body = std::string("a\0b\xff", 4);
  server_.Route("/missing?x=1", answer);
  Open("GET", server_.Url("/missing?x=1"));
  Send();
  EXPECT_EQ(ReadNumber(request_, "Status"), 404);
  EXPECT_EQ(ReadText(request_, "StatusText"), "Not Found");
  EXPECT_EQ(BodyText(request_), std::string("a\0b\xff", 4));
  ASSERT_EQ(server_.Requests().size(), 1u);
  EXPECT_EQ(server_.Requests()[0].method, "GET");
  EXPECT_EQ(server_.Requests()[0].target, "/missing?x=1");
  EXPECT_EQ(server_.Requests()[0].body, "");
}

TEST_F(HttpRequestTest, RequestHeadersGoOutInOrderAndALaterSetReplaces) {
  Open("GET", server_.Url("/"));
  const std::pair<const char*, const char*> headers[] = {
      {"Accept", "*/*"},        {"Referer", "http://x/"},
      {"Accept-Language", "zh-cn"}, {"User-Agent", "Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1)"},
      {"X-Gone", "1"},          {"referer", "http://y/"},
      {"X-Gone", ""},
  };
  for (const auto& [name, value] : headers) {
    CallMethod(request_, "SetRequestHeader", {arg::Text(name), arg::Text(value)});
    EXPECT_EQ(request_.lastResult, kS_OK) << name;
  }
  Send();
  std::vector<RecordedRequest> requests = server_.Requests();
  ASSERT_EQ(requests.size(), 1u);
  std::vector<std::string> ours;
  for (const std::string& line : requests[0].headerLines) {
    if (line.rfind("Host:", 0) != 0) ours.push_back(line);
  }
  EXPECT_EQ(ours, (std::vector<std::string>{
                      "Accept: */*", "Referer: http://y/", "Accept-Language: zh-cn",
                      "User-Agent: Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1)"}));
}

TEST_F(HttpRequestTest, DefaultUserAgentAndNoProxyFromTheEnvironment) {
  setenv("http_proxy", "http://127.0.0.1:1", 1);  // would refuse every connection
  Open("GET", server_.Url("/"));
  Send();
  unsetenv("http_proxy");
  EXPECT_EQ(request_.lastResult, kS_OK);
  ASSERT_EQ(server_.Requests().size(), 1u);
  EXPECT_TRUE(HasLine(server_.Requests()[0].headerLines,
                      "User-Agent: Mozilla/4.0 (compatible; Win32; WinHttp.WinHttpRequest.5)"));
}

TEST_F(HttpRequestTest, RedirectIsFollowedAndOnlyTheFinalHeadersCome) {
  ScriptedResponse moved = testing::Redirect(server_.Url("/new"));
  moved.headers.push_back("X-Old: 1");
  ScriptedResponse final;
  final.headers = {"X-New: 2"};
  final.body = "final";
  server_.Route("/old", moved);
  server_.Route("/new", final);
  Open("GET", server_.Url("/old"));
  Send();
  EXPECT_EQ(ReadNumber(request_, "Status"), 200);
  EXPECT_EQ(ReadText(request_, "GetAllResponseHeaders"),
            "X-New: 2\r\nContent-Length: 5\r\nConnection: close\r\n\r\n");
  EXPECT_EQ(BodyText(request_), "final");
  ASSERT_EQ(server_.Requests().size(), 2u);
  EXPECT_EQ(server_.Requests()[1].target, "/new");
}

TEST_F(HttpRequestTest, RedirectOptionOffGivesThe3xxAnswer) {
  server_.Route("/old", testing::Redirect(server_.Url("/new")));
  Open("GET", server_.Url("/old"));
  EXPECT_TRUE(PutProperty(request_, "Option", {arg::Int32(6), arg::Logical(false)}));
  EXPECT_EQ(ReadNumber(request_, "Option", {arg::Int32(6)}), 0);
  Send();
  EXPECT_EQ(ReadNumber(request_, "Status"), 302);
  EXPECT_EQ(ReadText(request_, "GetAllResponseHeaders"),
            "Location: " + server_.Url("/new") + "\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
  EXPECT_EQ(server_.Requests().size(), 1u);
}

TEST_F(HttpRequestTest, CertificateIgnoreFlags) {
  EXPECT_TRUE(PutProperty(request_, "Option", {arg::Int32(4), arg::Int32(13056)}));
  EXPECT_EQ(ReadNumber(request_, "Option", {arg::Int32(4)}), 13056);
  EXPECT_FALSE(PutProperty(request_, "Option", {arg::Int32(4), arg::Int32(0x4000)}));
  EXPECT_EQ(request_.lastResult, kE_INVALIDARG);
  EXPECT_EQ(ReadNumber(request_, "Option", {arg::Int32(4)}), 13056);
}

TEST_F(HttpRequestTest, BodiesTextAsUtf8WithContentTypeBytesAsTheyAre) {
  Open("POST", server_.Url("/text"));
  Send(arg::Text("中文"));
  Open("PUT", server_.Url("/bytes"));
  AutomationValue body;
  ByteBuffer bytes{0};
  ASSERT_TRUE(AssignValue(body, &bytes));
  Send(arg::Value(body));
  Open("GET", server_.Url("/get-with-text"));
  Send(arg::Text("q=1"));

  std::vector<RecordedRequest> requests = server_.Requests();
  ASSERT_EQ(requests.size(), 3u);
  EXPECT_EQ(requests[0].method, "POST");
  EXPECT_EQ(requests[0].body, "\xE4\xB8\xAD\xE6\x96\x87");
  EXPECT_TRUE(HasLine(requests[0].headerLines, "Content-Type: text/plain; Charset=UTF-8"));
  EXPECT_EQ(requests[1].method, "PUT");
  EXPECT_EQ(requests[1].body, std::string(1, '\0'));
  for (const std::string& line : requests[1].headerLines) {
    EXPECT_NE(line.rfind("Content-Type", 0), 0u) << line;
  }
  EXPECT_EQ(requests[2].method, "GET");
  EXPECT_EQ(requests[2].body, "q=1");
}

TEST_F(HttpRequestTest, NamedProxyCarriesTheRequest) {
  CallMethod(request_, "SetProxy",
             {arg::Int32(2), arg::Text("127.0.0.1:" + std::to_string(server_.Port()))});
  EXPECT_EQ(request_.lastResult, kS_OK);
  Open("GET", "http://time.example.invalid/x");
  Send();
  EXPECT_EQ(ReadNumber(request_, "Status"), 200);
  ASSERT_EQ(server_.Requests().size(), 1u);
  EXPECT_EQ(server_.Requests()[0].target, "http://time.example.invalid/x");

  CallMethod(request_, "SetProxy", {arg::Int32(3)});
  EXPECT_EQ(request_.lastResult, kE_INVALIDARG);
}

TEST_F(HttpRequestTest, CallsOutOfOrderFailWithThePlatformCodes) {
  EXPECT_EQ(ReadNumber(request_, "Status"), 0);
  EXPECT_EQ(request_.lastResult, Code(kERROR_WINHTTP_CANNOT_CALL_BEFORE_SEND));
  CallMethod(request_, "SetRequestHeader", {arg::Text("A"), arg::Text("1")});
  EXPECT_EQ(request_.lastResult, Code(kERROR_WINHTTP_CANNOT_CALL_BEFORE_OPEN));
  Send();
  EXPECT_EQ(request_.lastResult, Code(kERROR_WINHTTP_CANNOT_CALL_BEFORE_OPEN));

  Open("GET", server_.Url("/"));
  EXPECT_EQ(ReadNumber(request_, "Status"), 0);
  EXPECT_EQ(request_.lastResult, Code(kERROR_WINHTTP_CANNOT_CALL_BEFORE_SEND));
  EXPECT_EQ(ReadText(request_, "GetAllResponseHeaders"), "");
  EXPECT_EQ(request_.lastResult, Code(kERROR_WINHTTP_CANNOT_CALL_BEFORE_SEND));
  Send();
  EXPECT_EQ(ReadNumber(request_, "Status"), 200);
  CallMethod(request_, "SetRequestHeader", {arg::Text("A"), arg::Text("1")});
  EXPECT_EQ(request_.lastResult, Code(kERROR_WINHTTP_CANNOT_CALL_AFTER_SEND));

  // A new Open drops the previous answer.
  Open("GET", server_.Url("/"));
  EXPECT_EQ(ReadNumber(request_, "Status"), 0);
  EXPECT_EQ(request_.lastResult, Code(kERROR_WINHTTP_CANNOT_CALL_BEFORE_SEND));
}

TEST_F(HttpRequestTest, UnusableUrlsAreRefusedByOpen) {
  const std::pair<std::string, std::uint32_t> rows[] = {
      {"", kERROR_WINHTTP_UNRECOGNIZED_SCHEME},
      {"no-scheme", kERROR_WINHTTP_UNRECOGNIZED_SCHEME},
      {"ftp://127.0.0.1/", kERROR_WINHTTP_UNRECOGNIZED_SCHEME},
      {"http://", kERROR_WINHTTP_INVALID_URL},
      {"http://exa mple/", kERROR_WINHTTP_INVALID_URL},
  };
  for (const auto& [url, error] : rows) {
    CallMethod(request_, "Open", {arg::Text("GET"), arg::Text(url)});
    EXPECT_EQ(request_.lastResult, Code(error)) << url;
    Send();
    EXPECT_EQ(request_.lastResult, Code(kERROR_WINHTTP_CANNOT_CALL_BEFORE_OPEN)) << url;
  }
  EXPECT_TRUE(server_.Requests().empty());
}

TEST_F(HttpRequestTest, FailedExchangesLeaveNoAnswer) {
  ScriptedResponse hangUp;
  hangUp.mode = ScriptedResponse::Mode::kClose;
  server_.Route("/hang-up", hangUp);
  const std::pair<std::string, std::uint32_t> rows[] = {
      {"http://127.0.0.1:" + std::to_string(testing::UnusedLoopbackPort()) + "/",
       kERROR_WINHTTP_CANNOT_CONNECT},
      {server_.Url("/hang-up"), kERROR_WINHTTP_CONNECTION_ERROR},
  };
  for (const auto& [url, error] : rows) {
    Open("GET", url);
    Send();
    EXPECT_EQ(request_.lastResult, Code(error)) << url;
    EXPECT_EQ(ReadNumber(request_, "Status"), 0) << url;
    EXPECT_EQ(request_.lastResult, Code(kERROR_WINHTTP_CANNOT_CALL_BEFORE_SEND)) << url;
    EXPECT_EQ(ReadText(request_, "GetAllResponseHeaders"), "") << url;
    EXPECT_EQ(BodyText(request_), "") << url;
  }
}

// The receive time-out counts from the end of sending, with or without a
// body; the other phases' limits (60 s, 30 s) must not stand in for it.
TEST_F(HttpRequestTest, SilentServerFailsWhenTheReceiveTimeoutRunsOut) {
  const std::pair<const char*, const char*> rows[] = {{"GET", ""}, {"POST", "x=1"}};
  for (const auto& [method, body] : rows) {
    auto silentServer = std::make_unique<LoopbackServer>();
    ASSERT_TRUE(silentServer->Started());
    ScriptedResponse silent;
    silent.mode = ScriptedResponse::Mode::kNeverAnswer;
    silentServer->SetDefault(silent);
    CallMethod(request_, "SetTimeouts",
               {arg::Int32(0), arg::Int32(60000), arg::Int32(30000), arg::Int32(1000)});
    EXPECT_EQ(request_.lastResult, kS_OK);
    Open(method, silentServer->Url("/"));

    // Sent on a thread of its own so that a hang shows as a failure;
    // stopping the server ends a hung exchange.
    std::atomic<bool> finished{false};
    std::int32_t code = 0;
    std::thread sender([&, body = body] {
      ComScope threadScope;
      CallMethod(request_, "Send", {arg::Text(body)});
      code = request_.lastResult;
      finished = true;
    });
    for (int waited = 0; waited < 200 && !finished; ++waited) usleep(50 * 1000);
    EXPECT_TRUE(finished) << method << ": Send did not return within 10 s";
    ASSERT_EQ(silentServer->Requests().size(), 1u) << method;
    EXPECT_EQ(silentServer->Requests()[0].body, body);
    silentServer.reset();
    sender.join();
    EXPECT_EQ(code, Code(kERROR_WINHTTP_TIMEOUT)) << method;
    EXPECT_EQ(ReadNumber(request_, "Status"), 0) << method;
  }
}

TEST_F(HttpRequestTest, TimeoutsMustNotBeBelowMinusOne) {
  CallMethod(request_, "SetTimeouts",
             {arg::Int32(-1), arg::Int32(-1), arg::Int32(0), arg::Int32(15000)});
  EXPECT_EQ(request_.lastResult, kS_OK);
  CallMethod(request_, "SetTimeouts",
             {arg::Int32(15000), arg::Int32(-2), arg::Int32(15000), arg::Int32(15000)});
  EXPECT_EQ(request_.lastResult, kE_INVALIDARG);
  CallMethod(request_, "SetTimeouts", {arg::Int32(1), arg::Int32(2), arg::Int32(3)});
  EXPECT_EQ(request_.lastResult, kDISP_E_BADPARAMCOUNT);
}

TEST_F(HttpRequestTest, MemberNamesAreMatchedWithoutCaseAndUnknownOnesRefused) {
  EXPECT_EQ(ReadText(request_, "NoSuchMember"), "");
  EXPECT_EQ(request_.lastResult, kDISP_E_UNKNOWNNAME);
  Open("GET", server_.Url("/"));
  CallMethod(request_, "send", {arg::Text("")});
  EXPECT_EQ(ReadNumber(request_, "STATUS"), 200);
}

}  // namespace
}  // namespace tavrel
