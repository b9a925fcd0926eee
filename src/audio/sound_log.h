// A record of every call made on the sound engine, for tests and bots: a test
// asks "what was last done to the hit sound?" and reads its level and pan.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tornello {

enum class SoundEventKind { load, play, stop, volume, pan, free, stop_all, free_all };

struct SoundEvent {
  SoundEventKind kind;
  uint32_t handle;  // 0 for stop_all, free_all and failed loads
  bool live;        // the handle named a loaded sound when the call was made
  int32_t volume;   // the sound's volume and pan after the call (0 when not live)
  int32_t pan;
  bool looped;       // for play
  std::string path;  // the path the sound was loaded from
};

class SoundLog {
 public:
  void add(SoundEvent event) { events_.push_back(std::move(event)); }
  void clear() { events_.clear(); }
  const std::vector<SoundEvent>& events() const { return events_; }

  // The latest event on `handle`, of any kind or of one kind.
  std::optional<SoundEvent> last(uint32_t handle) const;
  std::optional<SoundEvent> last(uint32_t handle, SoundEventKind kind) const;
  // How many events of `kind` were made on `handle`.
  size_t count(uint32_t handle, SoundEventKind kind) const;
  // The handles played, in order, since event index `from`.
  std::vector<uint32_t> played_since(size_t from) const;

 private:
  std::vector<SoundEvent> events_;
};

}  // namespace tornello
