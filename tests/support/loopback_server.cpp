// The loopback server's protocol side: reading requests, choosing and
// writing scripted answers. Socket calls are in loopback_socket_*.

#include "tests/support/loopback_server.h"

#include <atomic>
#include <cstdlib>
#include <map>
#include <mutex>
#include <thread>

#include "tests/support/loopback_socket.h"

namespace tavrel::testing {

namespace {

constexpr std::size_t kMaxHeaderBytes = 64 * 1024;
constexpr std::size_t kMaxBodyBytes = 1024 * 1024;
constexpr int kPollMs = 50;
constexpr int kRequestDeadlineMs = 5000;

bool StartsWithIgnoringCase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    char a = text[i], b = prefix[i];
    if (a >= 'A' && a <= 'Z') a = static_cast<char>(a - 'A' + 'a');
    if (b >= 'A' && b <= 'Z') b = static_cast<char>(b - 'A' + 'a');
    if (a != b) return false;
  }
  return true;
}

bool HasHeader(const std::vector<std::string>& lines, std::string_view name) {
  for (const std::string& line : lines) {
    if (StartsWithIgnoringCase(line, name) && line.size() > name.size() &&
        line[name.size()] == ':') {
      return true;
    }
  }
  return false;
}

}  // namespace

ScriptedResponse Redirect(std::string location, int status) {
  ScriptedResponse response;
  response.status = status;
  response.reason = status == 301 ? "Moved Permanently" : "Found";
  response.headers.push_back("Location: " + location);
  return response;
}

struct LoopbackServer::State {
  net::Socket listener = net::kInvalidSocket;
  std::uint16_t port = 0;
  bool socketsStarted = false;
  std::atomic<bool> stop{false};
  std::thread thread;

  mutable std::mutex mutex;
  std::map<std::string, ScriptedResponse> routes;
  ScriptedResponse fallback;
  std::vector<RecordedRequest> requests;
  std::vector<net::Socket> held;  // connections that are never answered

  void Serve() {
    while (!stop.load()) {
      if (!net::WaitReadable(listener, kPollMs)) continue;
      net::Socket connection = net::Accept(listener);
      if (connection == net::kInvalidSocket) continue;
      Handle(connection);
    }
    for (net::Socket s : held) net::Close(s);
    held.clear();
  }

  // Reads until the request is complete, the deadline passes or the server
  // stops. False when no whole request arrived.
  bool ReadRequest(net::Socket connection, RecordedRequest& request) {
    std::string data;
    std::size_t headerEnd = std::string::npos;
    std::size_t bodyLength = 0;
    char buffer[4096];
    for (int waited = 0; waited < kRequestDeadlineMs && !stop.load();) {
      if (headerEnd != std::string::npos && data.size() >= headerEnd + 4 + bodyLength) break;
      if (!net::WaitReadable(connection, kPollMs)) {
        waited += kPollMs;
        continue;
      }
      long got = net::Receive(connection, buffer, sizeof buffer);
      if (got <= 0) return false;
      data.append(buffer, static_cast<std::size_t>(got));
      if (headerEnd == std::string::npos) {
        headerEnd = data.find("\r\n\r\n");
        if (headerEnd == std::string::npos) {
          if (data.size() > kMaxHeaderBytes) return false;
          continue;
        }
        if (!Parse(data.substr(0, headerEnd), request, bodyLength)) return false;
      }
    }
    if (headerEnd == std::string::npos || data.size() < headerEnd + 4 + bodyLength) return false;
    request.body = data.substr(headerEnd + 4, bodyLength);
    return true;
  }

  static bool Parse(const std::string& head, RecordedRequest& request, std::size_t& bodyLength) {
    std::size_t lineEnd = head.find("\r\n");
    std::string first = head.substr(0, lineEnd);
    std::size_t a = first.find(' ');
    std::size_t b = a == std::string::npos ? a : first.find(' ', a + 1);
    if (b == std::string::npos) return false;
    request.method = first.substr(0, a);
    request.target = first.substr(a + 1, b - a - 1);
    request.version = first.substr(b + 1);
    bodyLength = 0;
    while (lineEnd != std::string::npos) {
      std::size_t start = lineEnd + 2;
      lineEnd = head.find("\r\n", start);
      std::string line = head.substr(start, lineEnd == std::string::npos ? std::string::npos
                                                                         : lineEnd - start);
      if (StartsWithIgnoringCase(line, "Content-Length:")) {
        bodyLength = std::strtoul(line.c_str() + 15, nullptr, 10);
        if (bodyLength > kMaxBodyBytes) return false;
      }
      request.headerLines.push_back(std::move(line));
    }
    return true;
  }

  void Handle(net::Socket connection) {
    RecordedRequest request;
    if (!ReadRequest(connection, request)) {
      net::Close(connection);
      return;
    }
    ScriptedResponse response;
    {
      std::lock_guard lock(mutex);
      auto route = routes.find(request.target);
      response = route != routes.end() ? route->second : fallback;
      requests.push_back(request);
    }
    switch (response.mode) {
      case ScriptedResponse::Mode::kNeverAnswer:
        held.push_back(connection);
        return;
      case ScriptedResponse::Mode::kClose:
        net::Close(connection);
        return;
      case ScriptedResponse::Mode::kAnswer:
        break;
    }
    std::string out = "HTTP/1.1 " + std::to_string(response.status) + " " + response.reason + "\r\n";
    for (const std::string& line : response.headers) out += line + "\r\n";
    if (!HasHeader(response.headers, "Content-Length") &&
        !HasHeader(response.headers, "Transfer-Encoding")) {
      out += "Content-Length: " + std::to_string(response.body.size()) + "\r\n";
    }
    if (!HasHeader(response.headers, "Connection")) out += "Connection: close\r\n";
    out += "\r\n";
    if (request.method != "HEAD") out += response.body;
    net::SendAll(connection, out.data(), out.size());
    net::Close(connection);
  }
};

LoopbackServer::LoopbackServer() : state_(std::make_unique<State>()) {
  state_->socketsStarted = net::Startup();
  if (!state_->socketsStarted) return;
  state_->listener = net::ListenLoopback(state_->port);
  if (state_->listener == net::kInvalidSocket) return;
  state_->thread = std::thread([state = state_.get()] { state->Serve(); });
}

LoopbackServer::~LoopbackServer() {
  state_->stop.store(true);
  if (state_->thread.joinable()) state_->thread.join();
  if (state_->listener != net::kInvalidSocket) net::Close(state_->listener);
  if (state_->socketsStarted) net::Cleanup();
}

bool LoopbackServer::Started() const { return state_->thread.joinable(); }

std::uint16_t LoopbackServer::Port() const { return state_->port; }

std::string LoopbackServer::Url(std::string_view path) const {
  return "http://127.0.0.1:" + std::to_string(state_->port) + std::string(path);
}

void LoopbackServer::Route(std::string target, ScriptedResponse response) {
  std::lock_guard lock(state_->mutex);
  state_->routes[std::move(target)] = std::move(response);
}

void LoopbackServer::SetDefault(ScriptedResponse response) {
  std::lock_guard lock(state_->mutex);
  state_->fallback = std::move(response);
}

std::vector<RecordedRequest> LoopbackServer::Requests() const {
  std::lock_guard lock(state_->mutex);
  return state_->requests;
}

std::uint16_t UnusedLoopbackPort() {
  if (!net::Startup()) return 0;
  std::uint16_t port = 0;
  net::Socket s = net::ListenLoopback(port);
  if (s != net::kInvalidSocket) net::Close(s);
  net::Cleanup();
  return port;
}

}  // namespace tavrel::testing
