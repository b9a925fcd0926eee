// The match: one loop of frames over the game's MatchState, each computer the
// authority for its own end of the court. Frame order: receive one network
// event, apply its messages, check the local end and move the ball, (host) start
// or end play, read the controls, expire shields, place the positional sounds,
// then wait out the frame.
#pragma once

#include <cstdint>

#include "audio/sound_engine.h"
#include "shell/game.h"

namespace tornello {

// Constants of the match the other parts of the game need to agree on.
inline constexpr int32_t host_server_id = 0;
inline constexpr float court_left = 1.0f;
inline constexpr float court_right = 19.0f;
inline constexpr int32_t frame_wait_ms = 16;
// Along the court: below local_end_y an incoming ball has reached the local end,
// below return_window_y it can be struck. A serve starts the ball at these speeds
// (court units per frame).
inline constexpr float local_end_y = 1.0f;
inline constexpr float return_window_y = 6.0f;
inline constexpr float serve_speed_y = 0.05f;
inline constexpr float serve_speed_x = 0.01f;

// Runs frames until the match is left, then returns to the top loop. The hosting
// and joining flows fill the starting state (paddles, scores, characters, role,
// game mode, the emptied received text) and call this; nothing needs resetting
// between matches, as leave_match does it.
Next run_match(Game& game);

// Steps 1 to 7 of one frame, without the wait. Returns false once the match has
// been left (the rest of that frame was skipped).
bool run_frame_logic(Game& game);

// Ends the match: with say_goodbye, "_P_BYE" goes to the peer first. In every
// case the own endpoint is closed (the guest's connection, the host's server),
// the ball and both players are reset, every sound stops, and run_match returns
// at the end of the frame.
void leave_match(Game& game, bool say_goodbye);

// Receives and applies the waiting messages. Also notices a peer that has gone:
// the other player's leaving is spoken and the match is left without goodbye.
void receive_and_apply(Game& game);

// Ball and court.
void advance_ball(Game& game);
void place_sound(SoundEngine& engine, float listener_x, float listener_y, float source_x,
                 float source_y, float pan_factor, float fade_factor, SoundHandle sound);
void update_positional_sounds(Game& game);
// The opponent's stroke, heard from the opponent's paddle at the far end.
void play_opponent_stroke(Game& game);

// Controls.
void read_controls(Game& game);
void move_paddle_left(Game& game);
void move_paddle_right(Game& game);
void swing(Game& game);
bool in_reach(float paddle_x, float ball_x);
// The local player's return of the ball, heard at full level in the centre.
void play_own_stroke(Game& game);
void expire_shields(Game& game);

// Scoring and the end of the match.
void check_start_and_end(Game& game);
void concede_point(Game& game);
void win_point(Game& game);
void end_match(Game& game);
// F3: the score line and, once play has started, who serves, in answer to the key.
void answer_score_key(Game& game);
// One of the goal sounds a point plays, drawn at random.
SoundHandle pick_goal_sound(Game& game);
// Entry 18 + ": " + own score + " " + entry 19 + " " + the opponent's score.
std::string score_line(const Game& game);

}  // namespace tornello
