// Socket calls of the loopback server on Windows (Winsock).

#include <winsock2.h>
#include <ws2tcpip.h>

#include "tests/support/loopback_socket.h"

namespace tavrel::testing::net {

namespace {
SOCKET Handle(Socket s) { return static_cast<SOCKET>(s); }
}  // namespace

bool Startup() {
  WSADATA data;
  return WSAStartup(MAKEWORD(2, 2), &data) == 0;
}

void Cleanup() { WSACleanup(); }

Socket ListenLoopback(std::uint16_t& port) {
  SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (s == INVALID_SOCKET) return kInvalidSocket;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(port);
  int length = sizeof address;
  if (bind(s, reinterpret_cast<sockaddr*>(&address), length) != 0 || listen(s, 16) != 0 ||
      getsockname(s, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    closesocket(s);
    return kInvalidSocket;
  }
  port = ntohs(address.sin_port);
  return static_cast<Socket>(s);
}

bool WaitReadable(Socket s, int timeoutMs) {
  fd_set readable;
  FD_ZERO(&readable);
  FD_SET(Handle(s), &readable);
  timeval timeout{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
  return select(0, &readable, nullptr, nullptr, &timeout) > 0;
}

Socket Accept(Socket listener) {
  SOCKET s = accept(Handle(listener), nullptr, nullptr);
  return s == INVALID_SOCKET ? kInvalidSocket : static_cast<Socket>(s);
}

Socket ConnectLoopback(std::uint16_t port) {
  SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (s == INVALID_SOCKET) return kInvalidSocket;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(port);
  if (connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    closesocket(s);
    return kInvalidSocket;
  }
  return static_cast<Socket>(s);
}

long Receive(Socket s, char* buffer, std::size_t size) {
  return recv(Handle(s), buffer, static_cast<int>(size), 0);
}

bool SendAll(Socket s, const char* data, std::size_t size) {
  while (size > 0) {
    int sent = send(Handle(s), data, static_cast<int>(size), 0);
    if (sent <= 0) return false;
    data += sent;
    size -= static_cast<std::size_t>(sent);
  }
  return true;
}

void Close(Socket s) {
  // Let the answer drain before the socket goes, so the peer sees an orderly end.
  shutdown(Handle(s), SD_SEND);
  closesocket(Handle(s));
}

}  // namespace tavrel::testing::net
