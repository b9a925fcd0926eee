// Asking the router to forward a TCP port to this computer (UPnP IGD), so that
// players beyond it can join. Every call to the router may take seconds, so a
// PortMapping does its asking on a thread of its own and the game only looks at
// how far it has got.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace tornello {

enum class MappingOutcome {
  asking,       // no answer yet
  opened,       // forwarded; the external address is known
  no_answer,    // no router answered in time
  refused,      // a router answered but will not forward the port
  port_taken,   // the router forwards that port to someone else already
  unavailable,  // this build of the game cannot ask a router at all
};

struct MappingRequest {
  uint16_t port = 0;             // the same outside and in
  int32_t lease_seconds = 3600;  // the router forgets the port by itself after this
  // Where the router's description is, when known; empty: ask the local
  // network which router there is.
  std::string router_url;
  std::string description = "Tornello";
};

// One system's way of talking to the router. Blocking calls, made only from the
// PortMapping's thread (Windows wants its COM objects on one thread).
class Router {
 public:
  virtual ~Router() = default;
  // On opened, `external` is the router's address on the internet.
  virtual MappingOutcome add(const MappingRequest& request, std::string& external) = 0;
  virtual void remove(const MappingRequest& request) = 0;
};

// The router client this build has: miniupnpc, the system's UPnP NAT interface,
// or one that answers unavailable.
std::unique_ptr<Router> make_router();

// A forwarded port for as long as the hosting lasts: asks at once, and removes
// it again on release() or at the latest when destroyed.
class PortMapping {
 public:
  explicit PortMapping(MappingRequest request);
  ~PortMapping();
  PortMapping(const PortMapping&) = delete;
  PortMapping& operator=(const PortMapping&) = delete;

  MappingOutcome outcome() const;
  // The router's address on the internet, once opened.
  std::string external_address() const;

  // Starts taking the mapping back (after the answer, if it is still awaited).
  void release();
  // The router has been told, or never had anything to be told.
  bool finished() const;

 private:
  void run();

  const MappingRequest request_;
  mutable std::mutex mutex_;
  std::condition_variable released_;
  MappingOutcome outcome_ = MappingOutcome::asking;
  std::string external_;
  bool release_ = false;
  bool finished_ = false;
  std::thread thread_;
};

}  // namespace tornello
