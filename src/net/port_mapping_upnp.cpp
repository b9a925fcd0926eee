// The router asked through miniupnpc: found by SSDP on the local network, or
// read from a known description address.
#ifndef _WIN32

#include <miniupnpc/miniupnpc.h>
#include <miniupnpc/upnpcommands.h>

#include <string>

#include "net/port_mapping.h"

namespace tornello {

namespace {

// How long the local network is given to name a router.
constexpr int discovery_ms = 2000;

// UPnP error codes an AddPortMapping may answer with.
constexpr int conflict_in_mapping_entry = 718;
constexpr int no_port_maps_available = 728;
constexpr int conflict_with_other_mechanisms = 729;
constexpr int only_permanent_leases_supported = 725;

class MiniupnpcRouter : public Router {
 public:
  ~MiniupnpcRouter() override {
    if (found_) FreeUPNPUrls(&urls_);
  }

  MappingOutcome add(const MappingRequest& request, std::string& external) override {
    if (!find(request)) return MappingOutcome::no_answer;
    const char* control = urls_.controlURL;
    const char* service = data_.first.servicetype;
    char address[40] = {};
    const int asked = UPNP_GetExternalIPAddress(control, service, address);
    if (asked < 0) return MappingOutcome::no_answer;
    if (asked != UPNPCOMMAND_SUCCESS || address[0] == '\0') return MappingOutcome::refused;
    external = address;

    const std::string port = std::to_string(request.port);
    std::string lease = std::to_string(request.lease_seconds);
    int added = UPNP_AddPortMapping(control, service, port.c_str(), port.c_str(), lan_address_,
                                    request.description.c_str(), "TCP", nullptr, lease.c_str());
    // Some routers keep a mapping only until it is taken back; it is, when hosting ends.
    if (added == only_permanent_leases_supported) {
      added = UPNP_AddPortMapping(control, service, port.c_str(), port.c_str(), lan_address_,
                                  request.description.c_str(), "TCP", nullptr, "0");
    }
    if (added == UPNPCOMMAND_SUCCESS) return MappingOutcome::opened;
    if (added == conflict_in_mapping_entry || added == no_port_maps_available ||
        added == conflict_with_other_mechanisms) {
      return MappingOutcome::port_taken;
    }
    // A negative code is our side of the conversation failing: no answer came.
    return added < 0 ? MappingOutcome::no_answer : MappingOutcome::refused;
  }

  void remove(const MappingRequest& request) override {
    const std::string port = std::to_string(request.port);
    UPNP_DeletePortMapping(urls_.controlURL, data_.first.servicetype, port.c_str(), "TCP", nullptr);
  }

 private:
  bool find(const MappingRequest& request) {
    if (!request.router_url.empty()) {
      found_ = UPNP_GetIGDFromUrl(request.router_url.c_str(), &urls_, &data_, lan_address_,
                                  sizeof lan_address_) == 1;
      return found_;
    }
    int error = 0;
    UPNPDev* devices =
        upnpDiscover(discovery_ms, nullptr, nullptr, UPNP_LOCAL_PORT_ANY, 0, 2, &error);
    if (devices == nullptr) return false;
    // 1: a connected gateway; 2: one that says it is not connected, worth a try.
    const int kind = UPNP_GetValidIGD(devices, &urls_, &data_, lan_address_, sizeof lan_address_);
    freeUPNPDevlist(devices);
    if (kind != 0) found_ = true;  // the URLs are filled in and must be freed
    return kind == 1 || kind == 2;
  }

  UPNPUrls urls_{};
  IGDdatas data_{};
  char lan_address_[64] = {};
  bool found_ = false;
};

}  // namespace

std::unique_ptr<Router> make_router() {
  return std::make_unique<MiniupnpcRouter>();
}

}  // namespace tornello

#endif
