#pragma once

// A small HTTP/1.1 server for tests, on 127.0.0.1 and an ephemeral port, run
// by a thread of the test process. It answers each request with a scripted
// response (by exact request target, else the default one), records every
// request it read (method, target, header lines in order, body) and stops
// when it is destroyed. One connection is served at a time; every answer
// closes its connection. Reads are bounded in size and time.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace tavrel::testing {

struct ScriptedResponse {
  enum class Mode {
    kAnswer,      // send the response below
    kNeverAnswer, // read the request, then hold the connection open without a byte
    kClose,       // read the request, then close without answering
  };
  Mode mode = Mode::kAnswer;
  int status = 200;
  std::string reason = "OK";
  // Header lines "Name: value", sent in this order. Content-Length and
  // "Connection: close" are added after them unless they name those headers.
  std::vector<std::string> headers;
  std::string body;  // not sent in answer to HEAD
};

// A redirect to location.
ScriptedResponse Redirect(std::string location, int status = 302);

struct RecordedRequest {
  std::string method;
  std::string target;
  std::string version;
  std::vector<std::string> headerLines;  // "Name: value", as received
  std::string body;
};

class LoopbackServer {
 public:
  LoopbackServer();
  ~LoopbackServer();
  LoopbackServer(const LoopbackServer&) = delete;
  LoopbackServer& operator=(const LoopbackServer&) = delete;

  // False when no socket could be set up; the other members then do nothing.
  bool Started() const;
  std::uint16_t Port() const;
  // http://127.0.0.1:<port><path>
  std::string Url(std::string_view path = "/") const;

  // The response for one request target, or for every target without one.
  void Route(std::string target, ScriptedResponse response);
  void SetDefault(ScriptedResponse response);

  std::vector<RecordedRequest> Requests() const;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// A loopback port that nothing listens on (it was bound and released), for
// connection-refused cases.
std::uint16_t UnusedLoopbackPort();

}  // namespace tavrel::testing
