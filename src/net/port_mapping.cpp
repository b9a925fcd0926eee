#include "net/port_mapping.h"

namespace tornello {

PortMapping::PortMapping(MappingRequest request) : request_(std::move(request)) {
  thread_ = std::thread([this] { run(); });
}

PortMapping::~PortMapping() {
  release();
  thread_.join();
}

void PortMapping::run() {
  const std::unique_ptr<Router> router = make_router();
  std::string external;
  const MappingOutcome outcome = router->add(request_, external);
  std::unique_lock lock(mutex_);
  outcome_ = outcome;
  external_ = external;
  released_.wait(lock, [this] { return release_; });
  lock.unlock();
  if (outcome == MappingOutcome::opened) router->remove(request_);
  lock.lock();
  finished_ = true;
}

MappingOutcome PortMapping::outcome() const {
  std::lock_guard lock(mutex_);
  return outcome_;
}

std::string PortMapping::external_address() const {
  std::lock_guard lock(mutex_);
  return external_;
}

void PortMapping::release() {
  std::lock_guard lock(mutex_);
  release_ = true;
  released_.notify_all();
}

bool PortMapping::finished() const {
  std::lock_guard lock(mutex_);
  return finished_;
}

}  // namespace tornello
