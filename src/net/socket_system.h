// The few socket calls where POSIX and Winsock differ, behind one set of names.
// Private to the net folder's socket code: the rest of the game never sees a
// socket header.
#pragma once

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
// After the socket headers, which it needs.
#include <mstcpip.h>
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

// Winsock 2.2: IPv6, name lookups that give every address, keep-alive timers.
inline bool start() {
  WSADATA data;
  return WSAStartup(MAKEWORD(2, 2), &data) == 0;
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
// Errors of a read that mean the connection is gone for good: closed or reset
// by the peer, or given up because the peer stopped answering (keep-alive gives
// WSAENETRESET).
inline bool is_broken(int error) {
  return error == WSAECONNABORTED || error == WSAECONNRESET || error == WSAENOTCONN ||
         error == WSAESHUTDOWN || error == WSAETIMEDOUT || error == WSAENETRESET ||
         error == WSAEHOSTUNREACH || error == WSAENETUNREACH;
}
inline bool is_refused(int error) {
  return error == WSAECONNREFUSED;
}
// Nobody answered, or no way leads to the address.
inline bool is_unreachable(int error) {
  return error == WSAETIMEDOUT || error == WSAEHOSTUNREACH || error == WSAENETUNREACH ||
         error == WSAEHOSTDOWN || error == WSAENETDOWN;
}
inline constexpr int no_signal = 0;  // Winsock never raises a signal for a vanished peer

// Waits up to ms for a pending connect: 1 once it has ended (connect_error
// tells how), 0 while it is still pending, -1 when the wait itself failed.
// Winsock reports a failed connect as an exception, not as writable, so both
// sets are watched.
inline int wait_connected(Native socket, int ms) {
  fd_set writable, failed;
  FD_ZERO(&writable);
  FD_ZERO(&failed);
  FD_SET(socket, &writable);
  FD_SET(socket, &failed);
  timeval limit{0, ms * 1000};
  const int ready = select(0, nullptr, &writable, &failed, &limit);
  if (ready < 0) return -1;
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

inline Native open_stream(int family) {
  const Native socket = ::socket(family, SOCK_STREAM, IPPROTO_TCP);
  if (socket != invalid && !set_blocking(socket, false)) {
    close(socket);
    return invalid;
  }
  return socket;
}

// Windows probes a silent peer a fixed ten times, so the interval sets how long
// it is given. Data that is never acknowledged is given up after TCP_MAXRT
// (Windows Vista and later; mingw-w64's headers lack its number).
inline void keep_alive(Native socket, int idle_s, int interval_s, int give_up_s) {
  tcp_keepalive timers{1, static_cast<ULONG>(idle_s) * 1000, static_cast<ULONG>(interval_s) * 1000};
  DWORD returned = 0;
  WSAIoctl(socket, SIO_KEEPALIVE_VALS, &timers, sizeof timers, nullptr, 0, &returned, nullptr,
           nullptr);
  constexpr int tcp_maxrt = 5;
  const DWORD seconds = static_cast<DWORD>(give_up_s);
  setsockopt(socket, IPPROTO_TCP, tcp_maxrt, reinterpret_cast<const char*>(&seconds),
             sizeof seconds);
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
// The kernel gives up a silent peer with ETIMEDOUT, or with the last routing
// error it met while retrying.
inline bool is_broken(int error) {
  return error == ECONNRESET || error == ECONNABORTED || error == ENOTCONN || error == ESHUTDOWN ||
         error == ETIMEDOUT || error == EPIPE || error == EHOSTUNREACH || error == ENETUNREACH;
}
inline bool is_refused(int error) {
  return error == ECONNREFUSED;
}
inline bool is_unreachable(int error) {
  return error == ETIMEDOUT || error == EHOSTUNREACH || error == ENETUNREACH ||
         error == EHOSTDOWN || error == ENETDOWN;
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

inline Native open_stream(int family) {
  return ::socket(family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
}

// Probes start after idle_s without a word and follow every interval_s; the
// peer is given up once give_up_s have passed without an answer, also for data
// that is never acknowledged.
inline void keep_alive(Native socket, int idle_s, int interval_s, int give_up_s) {
  const int on = 1;
  const int probes = (give_up_s - idle_s) / interval_s;
  const unsigned int give_up_ms = static_cast<unsigned int>(give_up_s) * 1000;
  setsockopt(socket, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
  setsockopt(socket, IPPROTO_TCP, TCP_KEEPIDLE, &idle_s, sizeof idle_s);
  setsockopt(socket, IPPROTO_TCP, TCP_KEEPINTVL, &interval_s, sizeof interval_s);
  setsockopt(socket, IPPROTO_TCP, TCP_KEEPCNT, &probes, sizeof probes);
  setsockopt(socket, IPPROTO_TCP, TCP_USER_TIMEOUT, &give_up_ms, sizeof give_up_ms);
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

// An IPv6 listener that takes IPv4 guests too, as IPv4-mapped addresses.
inline bool accept_ipv4_too(Native socket) {
  const int off = 0;
  return setsockopt(socket, IPPROTO_IPV6, IPV6_V6ONLY, reinterpret_cast<const char*>(&off),
                    sizeof off) == 0;
}

// Small game messages must not wait for the previous one to be acknowledged.
inline void send_without_delay(Native socket) {
  const int on = 1;
  setsockopt(socket, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on);
}

}  // namespace tornello::sockets
