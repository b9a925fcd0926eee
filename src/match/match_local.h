// Pieces shared by the match's own files: the effects of received messages and
// small helpers. Not for use outside src/match.
#pragma once

#include <cstdint>
#include <string_view>

#include "audio/sound_bank.h"
#include "shell/game.h"

namespace tornello {

// One message to the peer ("$" is added).
inline void send(Game& game, std::string_view message) {
  send_message(game.transport, game.net, message);
}

// A character's voice; a number outside the table gives the silent character 0.
const CharacterSounds& character_sounds(const Game& game, int32_t character);

// Effects of received messages.
void ball_struck_by_opponent(Game& game);                       // "_P_BE"
void ball_hidden_by_opponent(Game& game);                       // "_P_XD"
void opponent_paddle_moved(Game& game, int64_t position);       // "_P_P"
void opponent_shield_raised(Game& game);                        // "_P_XS"
void opponent_shield_returned(Game& game);                      // "_P_XASR"
void peer_reported_ready(Game& game);                           // "_P_R"
void opponent_character_chosen(Game& game, int32_t character);  // "_P_V"
void play_started_by_host(Game& game, int64_t host_serves);     // "_P_S"

}  // namespace tornello
