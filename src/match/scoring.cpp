// The start of play, points and the end of the match. A point is a long audio
// sequence (goal, crowd, announcer, both characters) that holds the loop, so both
// players hear who scored before play goes on.
#include <algorithm>
#include <string>

#include "match/match.h"
#include "match/match_local.h"
#include "shell/menu.h"
#include "shell/screen_keys.h"
#include "shell/text_entries.h"

namespace tornello {

namespace {

constexpr int32_t start_delay_ms = 10000;
constexpr int32_t short_game_mode = 1;
constexpr int32_t short_game_limit = 10;
constexpr int32_t long_game_limit = 20;
constexpr int32_t voice_line_ms = 3000;
constexpr int32_t result_pause_ms = 1000;
constexpr int32_t result_music_ms = 7000;
constexpr int32_t score_call_ms = 500;
// The conceding computer holds the last number of the score call for less.
constexpr int32_t conceded_last_call_ms = 300;

// A voice line, goal or announcement number: 1..5.
int32_t pick_line(Game& game) {
  return random_int(game, 4) + 1;
}

// A hidden ball reappears when a point is decided.
void reveal_ball(Game& game) {
  BallState& ball = game.match.ball;
  if (!ball.hidden) return;
  ball.hidden = false;
  game.sound.play(game.bank.appear);
}

void end_rally(Game& game) {
  game.match.ball.flight = BallFlight::idle;
  game.sound.stop(game.bank.rolling);
}

void say_voice_line(Game& game, SoundHandle line) {
  game.sound.play(line);
  game.platform.delay_ms(voice_line_ms);
}

void call_score(Game& game, int32_t last_hold_ms) {
  play_announcement(game, "scores", score_call_ms);
  play_announcement(game, std::to_string(game.match.me.score), score_call_ms);
  play_announcement(game, std::to_string(game.match.opponent.score), last_hold_ms);
}

void wait_for_enter(Game& game) {
  for (;;) {
    game.keyboard.examine(game.platform);
    answer_common_keys(game, entry::help_match_end);
    answer_score_key(game);
    if (game.keyboard.key_released(key::enter)) break;
    game.platform.wait_for_input(idle_wait_ms);
  }
}

// The ball and everything looped about it fall silent, so the result is heard alone.
void silence_the_ball(Game& game) {
  const SoundBank& bank = game.bank;
  game.match.ball.flight = BallFlight::idle;
  for (SoundHandle sound : {bank.rolling, bank.ball_border, bank.hit, bank.appear, bank.disappear,
                            bank.own_shield_loop, bank.opponent_shield_loop}) {
    game.sound.stop(sound);
  }
}

void tell_serve(Game& game) {
  speak_line(game, text(game, game.match.my_serve ? entry::you_serve : entry::opponent_serves));
}

}  // namespace

SoundHandle pick_goal_sound(Game& game) {
  const int32_t count = std::clamp(game.settings.goal_sound_count, 1, SoundBank::max_goal_sounds);
  return game.bank.goals[static_cast<size_t>(random_int(game, count - 1) + 1)];
}

const CharacterSounds& character_sounds(const Game& game, int32_t character) {
  if (character < 0 || character > SoundBank::character_count) character = 0;
  return game.bank.characters[static_cast<size_t>(character)];
}

void answer_score_key(Game& game) {
  if (!key_pressed_once(game, key::f3)) return;
  const MatchState& match = game.match;
  std::string line = score_line(game);
  if (match.started) {
    line += ". " + text(game, match.my_serve ? entry::you_serve : entry::opponent_serves);
  }
  speak_line(game, line, LineKind::answer);
}

std::string score_line(const Game& game) {
  const MatchState& match = game.match;
  return text(game, entry::score) + ": " + std::to_string(match.me.score) + " " +
         text(game, entry::score_between) + " " + std::to_string(match.opponent.score);
}

void check_start_and_end(Game& game) {
  MatchState& match = game.match;
  if (match.role != PeerRole::host) return;

  if (!match.started && match.peer_ready &&
      ms_between(match.peer_ready_at, game.platform.elapsed_ms()) > start_delay_ms) {
    match.my_serve = random_int(game, 1) == 1;
    tell_serve(game);
    send(game, start_message(match.my_serve));
    match.started = true;
    match.points_limit = match.game_mode == short_game_mode ? short_game_limit : long_game_limit;
    play_announcement(game, "gamestart", 0);
  }

  if (match.started &&
      (match.me.score > match.points_limit || match.opponent.score > match.points_limit)) {
    send(game, match_over_message);
    end_match(game);
  }
}

void concede_point(Game& game) {
  MatchState& match = game.match;
  reveal_ball(game);
  end_rally(game);
  game.sound.play(pick_goal_sound(game));
  crowd_command(game, "reset");
  crowd_command(game, "epicfail");
  play_announcement(game, "score" + std::to_string(pick_line(game)), 0);
  ++match.opponent.score;
  speak_line(game, score_line(game));
  // Told early, so the peer's sequence runs alongside this one.
  send(game, point_lost_message);
  say_voice_line(game,
                 character_sounds(game, match.opponent_character).score_lines[pick_line(game)]);
  say_voice_line(game, character_sounds(game, match.my_character).opscore_lines[pick_line(game)]);
  call_score(game, conceded_last_call_ms);
}

void win_point(Game& game) {
  MatchState& match = game.match;
  ++match.me.score;
  end_rally(game);
  game.sound.play(pick_goal_sound(game));
  reveal_ball(game);
  speak_line(game, score_line(game));
  crowd_command(game, "reset");
  crowd_command(game, "cheer");
  play_announcement(game, "score" + std::to_string(pick_line(game)), 0);
  say_voice_line(game,
                 character_sounds(game, match.opponent_character).opscore_lines[pick_line(game)]);
  say_voice_line(game, character_sounds(game, match.my_character).score_lines[pick_line(game)]);
  call_score(game, score_call_ms);
}

void end_match(Game& game) {
  const MatchState& match = game.match;
  const CharacterSounds& opponent_voice = character_sounds(game, match.opponent_character);
  const bool lost = match.me.score < match.opponent.score;
  const bool won = match.me.score > match.opponent.score;
  silence_the_ball(game);
  // Equal scores (only a peer's early "_P_D" can cause them) announce nothing.
  if (lost) {
    game.sound.play(opponent_voice.win);
    speak_line(game, text(game, entry::lost));
    crowd_command(game, "lost");
    play_announcement(game, "theywin", 0);
  }
  if (won) {
    game.sound.play(game.bank.game_won);
    game.sound.play(opponent_voice.lose);
    speak_line(game, text(game, entry::won));
    crowd_command(game, "won");
    play_announcement(game, "youwin", 0);
  }
  game.platform.delay_ms(result_pause_ms);
  speak_line(game, score_line(game));
  wait_for_enter(game);
  game.sound.play(lost ? game.bank.game_lost : game.bank.game_won);
  game.platform.delay_ms(result_music_ms);
  leave_match(game, true);
}

void peer_reported_ready(Game& game) {
  game.match.peer_ready = true;
  game.match.peer_ready_at = game.platform.elapsed_ms();
  crowd_command(game, "clap");
}

void opponent_character_chosen(Game& game, int32_t character) {
  // A number outside the table is a silent character rather than a stray index.
  if (character < 0 || character > SoundBank::character_count) character = 0;
  game.match.opponent_character = character;
  game.sound.play(character_sounds(game, character).intro);
  crowd_command(game, "clap");
}

void play_started_by_host(Game& game, int64_t host_serves) {
  MatchState& match = game.match;
  match.started = true;
  match.my_serve = host_serves != 1;
  tell_serve(game);
  play_announcement(game, "gamestart", 0);
}

}  // namespace tornello
