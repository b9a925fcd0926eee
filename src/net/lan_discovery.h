// Finding games on the local network, the sockets' side (the datagrams are in
// discovery.h). Both sides work on threads of their own, so the game loop and
// its window go on meanwhile: a hosting game answers searches while it waits for
// a guest, and a searching game asks every interface at once and gathers the
// answers for a while.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "net/discovery.h"

namespace tornello {

class Waker;  // ends a thread's wait for datagrams at once when it is to stop

// Answers the searches of other games (queries on discovery_port, IPv4 and IPv6)
// for as long as it lives. Other games hosting on this computer share the port
// and answer too. Nothing is sent but answers to well-formed queries, and no
// more than a few of those a second, whatever floods in.
class DiscoveryResponder {
 public:
  DiscoveryResponder(uint16_t tcp_port, int32_t game_mode, uint32_t instance);
  ~DiscoveryResponder();
  DiscoveryResponder(const DiscoveryResponder&) = delete;
  DiscoveryResponder& operator=(const DiscoveryResponder&) = delete;

  // Whether it could listen on the port, on at least one of IPv4 and IPv6.
  bool listening() const { return listening_; }
  // Datagrams read and answers sent so far, for tests.
  uint64_t datagrams_read() const { return read_.load(); }
  uint64_t answers_sent() const { return sent_.load(); }

  // At most this many answers in any one second.
  static constexpr int max_answers_per_second = 32;

 private:
  void run();

  discovery::Answer answer_;
  std::intptr_t sockets_[2] = {-1, -1};  // IPv4, IPv6
  bool listening_ = false;
  std::atomic<bool> stop_{false};
  std::atomic<uint64_t> read_{0};
  std::atomic<uint64_t> sent_{0};
  std::unique_ptr<Waker> waker_;
  std::thread thread_;
};

// A game heard on the network: where to join it.
struct FoundGame {
  std::string address;  // as the player would type it: "192.168.1.20", "fd77::1"
  uint16_t port = 0;
  int32_t game_mode = 1;
  friend bool operator==(const FoundGame&, const FoundGame&) = default;
};

// One search: the query goes to the broadcast address of every IPv4 interface
// that is up (and of loopback, for games on this computer) and to ff02::1 on
// every IPv6 one, and answers are gathered for window_ms. A game heard more
// than once is one game, at its best address (IPv4 before IPv6, loopback last).
class GameSearch {
 public:
  GameSearch(uint32_t token, int32_t window_ms);
  ~GameSearch();  // ends the search early
  GameSearch(const GameSearch&) = delete;
  GameSearch& operator=(const GameSearch&) = delete;

  bool done() const { return done_.load(); }
  // The games heard so far, in the order first heard.
  std::vector<FoundGame> games() const;

  static constexpr int32_t window_ms = 1000;

 private:
  struct Heard {
    FoundGame game;
    uint32_t instance = 0;
    int rank = 0;  // of the address: lower is better
  };

  void run(uint32_t token, int32_t window_ms);
  void take(const discovery::Answer& answer, std::string address, int rank);

  mutable std::mutex mutex_;
  std::vector<Heard> heard_;
  std::atomic<bool> stop_{false};
  std::atomic<bool> done_{false};
  std::unique_ptr<Waker> waker_;
  std::thread thread_;
};

}  // namespace tornello
