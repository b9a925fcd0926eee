// The few socket calls where POSIX and Winsock differ, behind one set of names.
// Private to the net folder's socket code: the rest of the game never sees a
// socket header.
#pragma once

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#endif

#include <cstdint>

namespace tornello::sockets {

#ifdef _WIN32
using Native = SOCKET;
using Length = int;
inline constexpr Native invalid = INVALID_SOCKET;

// Winsock 1.1 is all the game needs: IPv4 streams and non-blocking polls.
inline bool start() {
  WSADATA data;
  return WSAStartup(MAKEWORD(1, 1), &data) == 0;
}
inline void stop() {
  WSACleanup();
}
inline int last_error() {
  return WSAGetLastError();
}
inline void close(Native socket) {
  closesocket(socket);
}
inline bool set_blocking(Native socket, bool blocking) {
  u_long non_blocking = blocking ? 0 : 1;
  return ioctlsocket(socket, FIONBIO, &non_blocking) == 0;
}
inline int bytes_waiting(Native socket) {
  u_long waiting = 0;
  return ioctlsocket(socket, FIONREAD, &waiting) == 0 ? static_cast<int>(waiting) : -1;
}
// SO_REUSEADDR on Winsock would let a second listener take a port that is in
// use; a listener's port there is free again as soon as it is closed.
inline void allow_quick_rebind(Native) {}
inline bool connect_pending(int error) {
  return error == WSAEWOULDBLOCK;
}
// Errors of a peek that mean the connection is gone for good.
inline bool is_broken(int error) {
  return error == WSAECONNABORTED || error == WSAECONNRESET || error == WSAENOTCONN ||
         error == WSAESHUTDOWN || error == WSAETIMEDOUT;
}
inline constexpr int no_signal = 0;  // Winsock never raises a signal for a vanished peer

// Waits up to ms for a pending connect: 1 once it is made, 0 while it is still
// pending, -1 when it failed. Winsock reports a refused connect as an exception,
// not as writable, so both sets are watched.
inline int wait_connected(Native socket, int ms) {
  fd_set writable, failed;
  FD_ZERO(&writable);
  FD_ZERO(&failed);
  FD_SET(socket, &writable);
  FD_SET(socket, &failed);
  timeval limit{0, ms * 1000};
  const int ready = select(0, nullptr, &writable, &failed, &limit);
  if (ready < 0 || FD_ISSET(socket, &failed)) return -1;
  return ready > 0 ? 1 : 0;
}

// True when a recv would return at once: bytes, an orderly close or an error.
inline bool readable_now(Native socket) {
  fd_set readable;
  FD_ZERO(&readable);
  FD_SET(socket, &readable);
  timeval none{0, 0};
  return select(0, &readable, nullptr, nullptr, &none) > 0;
}

// One recv that never waits, also on a blocking socket. Winsock has no per-call
// non-blocking flag, so the socket is asked first.
inline int receive_now(Native socket, char* buffer, int capacity, bool peek) {
  if (!readable_now(socket)) {
    WSASetLastError(WSAEWOULDBLOCK);
    return -1;
  }
  return recv(socket, buffer, capacity, peek ? MSG_PEEK : 0);
}

inline Native accept_now(Native listener) {
  const Native socket = accept(listener, nullptr, nullptr);
  if (socket != invalid && !set_blocking(socket, false)) {
    close(socket);
    return invalid;
  }
  return socket;
}

inline Native open_stream() {
  const Native socket = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (socket != invalid && !set_blocking(socket, false)) {
    close(socket);
    return invalid;
  }
  return socket;
}
#else
using Native = int;
using Length = socklen_t;
inline constexpr Native invalid = -1;

// POSIX sockets need no start-up.
inline bool start() {
  return true;
}
inline void stop() {}
inline int last_error() {
  return errno;
}
inline void close(Native socket) {
  ::close(socket);
}
inline bool set_blocking(Native socket, bool blocking) {
  const int flags = fcntl(socket, F_GETFL, 0);
  if (flags < 0) return false;
  return fcntl(socket, F_SETFL, blocking ? flags & ~O_NONBLOCK : flags | O_NONBLOCK) == 0;
}
inline int bytes_waiting(Native socket) {
  int waiting = 0;
  return ioctl(socket, FIONREAD, &waiting) == 0 ? waiting : -1;
}
// Hosting again right after a match must not fail on the last match's closed
// connections; this still never lets two listeners share a port.
inline void allow_quick_rebind(Native socket) {
  const int on = 1;
  setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
}
inline bool connect_pending(int error) {
  return error == EINPROGRESS;
}
inline bool is_broken(int error) {
  return error == ECONNRESET || error == ECONNABORTED || error == ENOTCONN || error == ESHUTDOWN ||
         error == ETIMEDOUT || error == EPIPE;
}
// A vanished peer gives an error from send, not a SIGPIPE.
inline constexpr int no_signal = MSG_NOSIGNAL;

inline int wait_connected(Native socket, int ms) {
  pollfd watch{socket, POLLOUT, 0};
  const int ready = poll(&watch, 1, ms);
  if (ready < 0) return errno == EINTR ? 0 : -1;
  return ready > 0 ? 1 : 0;
}

inline int receive_now(Native socket, char* buffer, int capacity, bool peek) {
  return static_cast<int>(
      recv(socket, buffer, static_cast<size_t>(capacity), MSG_DONTWAIT | (peek ? MSG_PEEK : 0)));
}

inline Native accept_now(Native listener) {
  return accept4(listener, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
}

inline Native open_stream() {
  return ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
}
#endif

// The connect's outcome once the socket is writable: 0 or the error.
inline int connect_error(Native socket) {
  int error = 0;
  Length size = sizeof error;
  if (getsockopt(socket, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &size) != 0) {
    return -1;
  }
  return error;
}

// Small game messages must not wait for the previous one to be acknowledged.
inline void send_without_delay(Native socket) {
  const int on = 1;
  setsockopt(socket, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on);
}

}  // namespace tornello::sockets
