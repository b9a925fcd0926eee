// How players find and reach a hosting game: the line that tells this
// computer's addresses, the answers to searches on the local network while the
// host waits, and, when the player chose it, the port forwarded by the router
// for as long as the hosting lasts.
#pragma once

#include <cstdint>
#include <memory>

#include "net/lan_discovery.h"
#include "net/port_mapping.h"
#include "shell/game.h"

namespace tornello {

class HostReach {
 public:
  // Starts answering searches and asking the router, then tells the addresses.
  HostReach(Game& game, uint16_t port, int32_t game_mode);
  // Takes the router's mapping back, if end() has not already.
  ~HostReach();
  HostReach(const HostReach&) = delete;
  HostReach& operator=(const HostReach&) = delete;

  // Once per pass while the host waits: tells the router's answer when it comes.
  void poll();
  // A guest has come: searches go unanswered from now on.
  void stop_answering() { responder_.reset(); }
  // Hosting is over: searches go unanswered and the router is told to forget
  // the port, the window served while it is asked.
  void end();

 private:
  Game& game_;
  uint16_t port_;
  std::unique_ptr<DiscoveryResponder> responder_;
  std::unique_ptr<PortMapping> mapping_;
  bool router_told_ = false;
};

// "<lead> 192.168.1.20, fd77::1, port 3214."
std::string join_line(const Game& game, int lead_entry, const std::vector<std::string>& addresses,
                      uint16_t port);

}  // namespace tornello
