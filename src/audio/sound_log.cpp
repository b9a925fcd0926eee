#include "audio/sound_log.h"

namespace tornello {

std::optional<SoundEvent> SoundLog::last(uint32_t handle) const {
  for (auto it = events_.rbegin(); it != events_.rend(); ++it) {
    if (it->handle == handle) return *it;
  }
  return std::nullopt;
}

std::optional<SoundEvent> SoundLog::last(uint32_t handle, SoundEventKind kind) const {
  for (auto it = events_.rbegin(); it != events_.rend(); ++it) {
    if (it->handle == handle && it->kind == kind) return *it;
  }
  return std::nullopt;
}

size_t SoundLog::count(uint32_t handle, SoundEventKind kind) const {
  size_t n = 0;
  for (const SoundEvent& event : events_) n += event.handle == handle && event.kind == kind;
  return n;
}

std::vector<uint32_t> SoundLog::played_since(size_t from) const {
  std::vector<uint32_t> handles;
  for (size_t k = from; k < events_.size(); ++k) {
    if (events_[k].kind == SoundEventKind::play && events_[k].live) {
      handles.push_back(events_[k].handle);
    }
  }
  return handles;
}

}  // namespace tornello
