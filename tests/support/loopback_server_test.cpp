// The loopback server itself, driven over a raw socket so the same test runs
// on both platforms.

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "tests/support/loopback_server.h"
#include "tests/support/loopback_socket.h"

namespace tavrel::testing {
namespace {

class RawClient {
 public:
  explicit RawClient(std::uint16_t port) {
    started_ = net::Startup();
    if (started_) socket_ = net::ConnectLoopback(port);
  }
  ~RawClient() {
    if (socket_ != net::kInvalidSocket) net::Close(socket_);
    if (started_) net::Cleanup();
  }
  bool Connected() const { return socket_ != net::kInvalidSocket; }
  bool Send(const std::string& data) { return net::SendAll(socket_, data.data(), data.size()); }

  // Everything until the server closes, waiting at most limitMs; closed
  // tells whether the end was seen.
  std::string ReadAll(int limitMs, bool& closed) {
    std::string data;
    closed = false;
    char buffer[1024];
    for (int waited = 0; waited < limitMs;) {
      if (!net::WaitReadable(socket_, 50)) {
        waited += 50;
        continue;
      }
      long got = net::Receive(socket_, buffer, sizeof buffer);
      if (got <= 0) {
        closed = true;
        break;
      }
      data.append(buffer, static_cast<std::size_t>(got));
    }
    return data;
  }

 private:
  bool started_ = false;
  net::Socket socket_ = net::kInvalidSocket;
};

TEST(LoopbackServer, AnswersTheRouteAndRecordsTheRequest) {
  LoopbackServer server;
  ASSERT_TRUE(server.Started());
  ScriptedResponse answer;
  answer.status = 404;
  answer.reason = "Not Found";
  answer.headers = {"Date: Tue, 05 Mar 2024 04:05:06 GMT", "X-B: 2"};
  answer.body = "nothing";
  server.Route("/a?q=1", answer);

  RawClient client(server.Port());
  ASSERT_TRUE(client.Connected());
  ASSERT_TRUE(client.Send("POST /a?q=1 HTTP/1.1\r\nHost: x\r\nX-One: 1\r\nContent-Length: 5\r\n\r\nhello"));
  bool closed = false;
  EXPECT_EQ(client.ReadAll(5000, closed),
            "HTTP/1.1 404 Not Found\r\nDate: Tue, 05 Mar 2024 04:05:06 GMT\r\nX-B: 2\r\n"
            "Content-Length: 7\r\nConnection: close\r\n\r\nnothing");
  EXPECT_TRUE(closed);

  std::vector<RecordedRequest> requests = server.Requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].method, "POST");
  EXPECT_EQ(requests[0].target, "/a?q=1");
  EXPECT_EQ(requests[0].version, "HTTP/1.1");
  EXPECT_EQ(requests[0].headerLines,
            (std::vector<std::string>{"Host: x", "X-One: 1", "Content-Length: 5"}));
  EXPECT_EQ(requests[0].body, "hello");
}

TEST(LoopbackServer, HeadGetsNoBodyAndOtherTargetsTheDefault) {
  LoopbackServer server;
  ASSERT_TRUE(server.Started());
  ScriptedResponse fallback;
  fallback.body = "abc";
  server.SetDefault(fallback);
  server.Route("/moved", Redirect("http://127.0.0.1/elsewhere", 301));

  RawClient head(server.Port());
  ASSERT_TRUE(head.Send("HEAD /any HTTP/1.1\r\nHost: x\r\n\r\n"));
  bool closed = false;
  EXPECT_EQ(head.ReadAll(5000, closed),
            "HTTP/1.1 200 OK\r\nContent-Length: 3\r\nConnection: close\r\n\r\n");

  RawClient moved(server.Port());
  ASSERT_TRUE(moved.Send("GET /moved HTTP/1.1\r\n\r\n"));
  EXPECT_EQ(moved.ReadAll(5000, closed),
            "HTTP/1.1 301 Moved Permanently\r\nLocation: http://127.0.0.1/elsewhere\r\n"
            "Content-Length: 0\r\nConnection: close\r\n\r\n");
}

TEST(LoopbackServer, NeverAnswerHoldsTheConnectionUntilTheServerStops) {
  auto server = std::make_unique<LoopbackServer>();
  ASSERT_TRUE(server->Started());
  ScriptedResponse silent;
  silent.mode = ScriptedResponse::Mode::kNeverAnswer;
  server->SetDefault(silent);

  RawClient client(server->Port());
  ASSERT_TRUE(client.Send("GET / HTTP/1.1\r\n\r\n"));
  bool closed = false;
  EXPECT_EQ(client.ReadAll(300, closed), "");
  EXPECT_FALSE(closed);
  EXPECT_EQ(server->Requests().size(), 1u);

  server.reset();  // stops, and lets the held connection go
  EXPECT_EQ(client.ReadAll(5000, closed), "");
  EXPECT_TRUE(closed);
}

TEST(LoopbackServer, StopsWhileAClientSendsNothing) {
  std::unique_ptr<RawClient> idle;
  {
    LoopbackServer server;
    ASSERT_TRUE(server.Started());
    idle = std::make_unique<RawClient>(server.Port());
    ASSERT_TRUE(idle->Connected());
  }  // the destructor returns although the request never came
  bool closed = false;
  EXPECT_EQ(idle->ReadAll(5000, closed), "");
  EXPECT_TRUE(closed);
}

TEST(LoopbackServer, UnusedPortRefusesConnections) {
  std::uint16_t port = UnusedLoopbackPort();
  ASSERT_NE(port, 0);
  RawClient client(port);
  EXPECT_FALSE(client.Connected());
}

}  // namespace
}  // namespace tavrel::testing
