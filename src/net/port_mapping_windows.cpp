// Windows: no router client yet; the setting is told to be unavailable.
#ifdef _WIN32

#include "net/port_mapping.h"

namespace tornello {

namespace {

class UnavailableRouter : public Router {
 public:
  MappingOutcome add(const MappingRequest&, std::string&) override {
    return MappingOutcome::unavailable;
  }
  void remove(const MappingRequest&) override {}
};

}  // namespace

std::unique_ptr<Router> make_router() {
  return std::make_unique<UnavailableRouter>();
}

}  // namespace tornello

#endif
