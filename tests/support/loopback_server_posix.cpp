// Socket calls of the loopback server on Linux.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

#include "tests/support/loopback_socket.h"

namespace tavrel::testing::net {

namespace {
int Fd(Socket s) { return static_cast<int>(s); }
}  // namespace

bool Startup() { return true; }
void Cleanup() {}

Socket ListenLoopback(std::uint16_t& port) {
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return kInvalidSocket;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(port);
  socklen_t length = sizeof address;
  if (bind(fd, reinterpret_cast<sockaddr*>(&address), length) != 0 || listen(fd, 16) != 0 ||
      getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    close(fd);
    return kInvalidSocket;
  }
  port = ntohs(address.sin_port);
  return static_cast<Socket>(fd);
}

bool WaitReadable(Socket s, int timeoutMs) {
  pollfd entry{Fd(s), POLLIN, 0};
  return poll(&entry, 1, timeoutMs) > 0;
}

Socket Accept(Socket listener) {
  int fd = accept4(Fd(listener), nullptr, nullptr, SOCK_CLOEXEC);
  return fd < 0 ? kInvalidSocket : static_cast<Socket>(fd);
}

Socket ConnectLoopback(std::uint16_t port) {
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return kInvalidSocket;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(port);
  if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    close(fd);
    return kInvalidSocket;
  }
  return static_cast<Socket>(fd);
}

long Receive(Socket s, char* buffer, std::size_t size) {
  ssize_t got;
  do {
    got = recv(Fd(s), buffer, size, 0);
  } while (got < 0 && errno == EINTR);
  return static_cast<long>(got);
}

bool SendAll(Socket s, const char* data, std::size_t size) {
  while (size > 0) {
    ssize_t sent = send(Fd(s), data, size, MSG_NOSIGNAL);
    if (sent < 0 && errno == EINTR) continue;
    if (sent <= 0) return false;
    data += sent;
    size -= static_cast<std::size_t>(sent);
  }
  return true;
}

void Close(Socket s) {
  shutdown(Fd(s), SHUT_WR);
  close(Fd(s));
}

}  // namespace tavrel::testing::net
