// The language file's entries by name: entry n is line n of "lang/<code>.lng".
// A number keeps its meaning for good, so language files of older releases keep
// working; new entries only ever go after the last one. data/README.md tells
// translators when each is spoken.
#pragma once

namespace tornello::entry {

// Start-up, hosting, joining and the match.
inline constexpr int loading = 1;
inline constexpr int hosting = 2;
inline constexpr int opening_server = 3;
inline constexpr int waiting_for_guest = 4;
inline constexpr int guest_connecting = 5;  // after the guest's address
inline constexpr int guest_verified = 6;
inline constexpr int host_ready = 7;
inline constexpr int connecting_to = 8;  // before the host address
inline constexpr int on_port = 9;        // between the host address and the port
inline constexpr int cannot_connect = 10;
inline constexpr int waiting_for_host = 11;
inline constexpr int guest_ready = 12;
inline constexpr int someone_else = 13;
inline constexpr int opponent_serves = 14;
inline constexpr int you_serve = 15;
inline constexpr int lost = 16;
inline constexpr int won = 17;
inline constexpr int score = 18;          // before the own score
inline constexpr int score_between = 19;  // between the two scores
inline constexpr int title_screen = 20;
inline constexpr int peer_left = 21;
inline constexpr int cannot_open_port = 22;  // before the port number

// Settings: the screen, the spoken levels ("Music 40 percent") and the file.
inline constexpr int settings = 23;
inline constexpr int sounds = 24;
inline constexpr int music = 25;
inline constexpr int percent = 26;
inline constexpr int speech = 27;
inline constexpr int on = 28;
inline constexpr int off = 29;
inline constexpr int language = 30;
inline constexpr int open_router_port = 31;
inline constexpr int back = 32;
inline constexpr int settings_reset = 33;
inline constexpr int settings_not_saved = 34;
inline constexpr int language_name = 35;  // the language's own name for itself

// F1: the keys of each screen, then the keys every screen knows.
inline constexpr int help_title = 36;
inline constexpr int help_menu = 37;
inline constexpr int help_prompt = 38;
inline constexpr int help_character = 39;
inline constexpr int help_waiting = 40;
inline constexpr int help_match = 41;
inline constexpr int help_match_end = 42;
inline constexpr int help_settings = 43;
inline constexpr int help_learn_sounds = 44;
inline constexpr int help_common = 45;

// Networks: where the host can be reached, the router, finding games, and why
// joining failed.
inline constexpr int join_you_at = 46;  // before the addresses
inline constexpr int port = 47;         // before a port number
inline constexpr int internet_join_you_at = 48;
inline constexpr int router_no_answer = 49;
inline constexpr int router_refused = 50;
inline constexpr int router_port_taken = 51;
inline constexpr int router_unavailable = 52;
inline constexpr int searching_games = 53;
inline constexpr int found = 54;        // before the number of games
inline constexpr int game_found = 55;   // after the number 1
inline constexpr int games_found = 56;  // after any other number
inline constexpr int no_games_found = 57;
inline constexpr int games_on_network = 58;
inline constexpr int short_game = 59;
inline constexpr int long_game = 60;
inline constexpr int unknown_name = 61;
inline constexpr int nobody_hosts = 62;
inline constexpr int no_answer_in_time = 63;
inline constexpr int empty_address = 64;

// Practice against the computer and the sounds to learn.
inline constexpr int choose_level = 65;
inline constexpr int easy = 66;
inline constexpr int normal = 67;
inline constexpr int hard = 68;
inline constexpr int learn_sounds = 69;

// The sounds to learn, one item each, in the order of their menu.
inline constexpr int sound_ball_straight = 70;
inline constexpr int sound_ball_left = 71;
inline constexpr int sound_ball_right = 72;
inline constexpr int sound_ball_close = 73;
inline constexpr int sound_ball_bounce = 74;
inline constexpr int sound_own_stroke = 75;
inline constexpr int sound_opponent_stroke = 76;
inline constexpr int sound_own_move = 77;
inline constexpr int sound_own_edge = 78;
inline constexpr int sound_own_shield_up = 79;
inline constexpr int sound_own_shield_return = 80;
inline constexpr int sound_own_shield_down = 81;
inline constexpr int sound_opponent_shield_up = 82;
inline constexpr int sound_opponent_shield_return = 83;
inline constexpr int sound_ball_hiding = 84;
inline constexpr int sound_ball_appearing = 85;
inline constexpr int sound_point_won = 86;
inline constexpr int sound_point_lost = 87;
inline constexpr int sound_crowd_rally = 88;
inline constexpr int sound_crowd_bonus = 89;

// The last entry the game knows; the built-in English table has them all.
inline constexpr int last = 89;

}  // namespace tornello::entry
