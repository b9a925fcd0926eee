#include "session/host_reach.h"

#include <random>

#include "net/local_addresses.h"
#include "shell/text_entries.h"

namespace tornello {

std::string join_line(const Game& game, int lead_entry, const std::vector<std::string>& addresses,
                      uint16_t port) {
  std::string line = text(game, lead_entry) + " ";
  for (const std::string& address : addresses) line += address + ", ";
  return line + text(game, entry::port) + " " + std::to_string(port) + ".";
}

HostReach::HostReach(Game& game, uint16_t port, int32_t game_mode) : game_(game), port_(port) {
  // Tells this hosting from any other that answers the same search.
  const uint32_t instance = std::random_device{}();
  responder_ = std::make_unique<DiscoveryResponder>(port, game_mode, instance);
  if (game.settings.open_router_port) {
    MappingRequest request;
    request.port = port;
    request.router_url = game.settings.router_url;
    mapping_ = std::make_unique<PortMapping>(request);
  }
  speak_line(
      game, join_line(game, entry::join_you_at, addresses_to_tell(up_interface_addresses()), port));
}

HostReach::~HostReach() {
  // No pumping here: this may run while an error unwinds the game loop. The
  // mapping's own end waits for the router instead.
  responder_.reset();
  mapping_.reset();
}

void HostReach::poll() {
  if (!mapping_ || router_told_) return;
  const MappingOutcome outcome = mapping_->outcome();
  if (outcome == MappingOutcome::asking) return;
  router_told_ = true;
  if (outcome == MappingOutcome::opened) {
    speak_line(game_, join_line(game_, entry::internet_join_you_at, {mapping_->external_address()},
                                port_));
    return;
  }
  const int failure = outcome == MappingOutcome::no_answer    ? entry::router_no_answer
                      : outcome == MappingOutcome::refused    ? entry::router_refused
                      : outcome == MappingOutcome::port_taken ? entry::router_port_taken
                                                              : entry::router_unavailable;
  speak_line(game_, text(game_, failure));
}

void HostReach::end() {
  responder_.reset();
  if (!mapping_) return;
  mapping_->release();
  while (!mapping_->finished()) game_.platform.pump_events(1);
  mapping_.reset();
}

}  // namespace tornello
