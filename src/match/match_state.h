// The match record: one for the whole run, reused from one match to the next.
// Court coordinates as this computer hears them: x across the court (borders at
// 1.0 and 19.0, the same on both computers), y along it from the local end (0)
// to the far end (court_length).
#pragma once

#include <cstdint>

#include "net/protocol.h"

namespace tornello {

enum class BallFlight : int32_t {
  idle = 0,      // not in play; position and speeds mean nothing
  incoming = 1,  // toward the local player, y decreasing
  outgoing = 2,  // away from the local player, y increasing up to the far end
};

// Any other value (a peer may send one) means no sideways motion and no bounce.
enum class SideDirection : int32_t { left = 1, right = 2, straight = 3 };

struct PlayerState {
  float paddle_x = 0.0f;  // the local paddle moves in whole steps; the opponent's is as reported
  int32_t score = 0;
  bool shield_up = false;
  uint32_t shield_raised_at = 0;  // elapsed_ms reading
};

struct BallState {
  bool hidden = false;  // the rolling sound is stopped; everything else goes on
  float x = 0.0f;
  float y = 0.0f;
  float speed_y = 0.0f;  // court units per frame
  float speed_x = 0.0f;
  SideDirection side_direction{};
  BallFlight flight = BallFlight::idle;
};

struct MatchState {
  PeerRole role = PeerRole::guest;
  int32_t my_character = 1;  // 0..5; 0 is a player who never chose, whose voice is silent
  int32_t opponent_character = 1;
  bool my_serve = false;       // drawn once when play starts; one player serves the whole match
  bool started = false;        // paddle and action controls work only while play runs
  bool peer_ready = false;     // host: the guest reported ready
  uint32_t peer_ready_at = 0;  // host: elapsed_ms reading when it did
  int32_t points_limit = 9;    // host: a score above it ends the match
  int32_t game_mode = 0;       // host: 1 is the short game
  PlayerState me;
  PlayerState opponent;
  BallState ball;
  int32_t mouse_frames = 0;  // frames with mouse motion since the last mouse step

  // Set by leave_match: run_match returns at the end of the frame, and nothing
  // else of that frame (nor any message still waiting in its read) is applied.
  bool left = false;
};

}  // namespace tornello
