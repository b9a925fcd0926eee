// Two headless games in one process, each on a virtual clock and a thread of its
// own, played by autopilots over loopback through a relay that keeps every byte.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "audio/sound_log.h"
#include "audio/wav_writer.h"
#include "session/autopilot.h"
#include "session/session.h"
#include "shell/command_line.h"
#include "shell/language.h"
#include "shell/menu.h"
#include "shell/start_up.h"
#include "support/loopback.h"
#include "support/paced_clocks.h"
#include "support/temp_dir.h"

namespace tornello {

// One game with its autopilot and a transcript: "say <line>", "play <sound>",
// "stop <sound>" (lower case, without "sounds/" and ".wav"), each with its time.
class Player {
 public:
  Player(PacedClocks* clocks, int side, int32_t skill)
      : game(platform), pilot(game, 101 + 101 * side, skill), clocks_(clocks), side_(side) {
    game.random.seed(101 + 101 * side);
    pilot.attach(platform);
    platform.on_title = [this](const std::string& line) {
      drain_sounds();
      note("say " + line);
      pilot.hear(line);
      if (on_line) on_line(line);
    };
    platform.on_pump = [this] { each_pump(); };
    game.sound.set_log(&log_);
  }
  ~Player() { finish(); }

  void forget_everything() {
    platform.keep_log = false;
    game.sound.set_log(nullptr);
    keep_transcript_ = false;
  }
  void start() {
    thread_ = std::thread([this] {
      try {
        if (on_start) on_start(side_);
        start_up(game, CommandLine{}, flows);
      } catch (const std::exception& e) {
        failure = e.what();
      }
      if (clocks_) clocks_->finished(side_);
    });
  }
  void finish() {
    if (thread_.joinable()) thread_.join();
  }

  ListeningPlatform platform;
  Game game;
  Autopilot pilot;
  MainMenuFlows flows = network_flows();
  std::vector<std::string> heard;
  std::vector<uint32_t> heard_at;
  std::string failure;
  // Run on the player's thread; `wire` carries the relay.
  std::function<void(const std::string&)> on_line;
  std::function<void()> on_pump, wire;
  std::function<void(int side)> on_start;

 private:
  void note(std::string item) {
    if (!keep_transcript_) return;
    heard.push_back(std::move(item));
    heard_at.push_back(platform.elapsed_ms());
  }
  void each_pump() {
    drain_sounds();
    if (wire && (platform.pumps() & 0xF) == 0) wire();
    if (on_pump) on_pump();
    if (ms_between(1000, platform.elapsed_ms()) > 24 * 3600 * 1000)
      throw std::runtime_error("the game ran past the test's time limit");
    if (clocks_) clocks_->tick(side_, platform.elapsed_ms());
  }
  static std::string label(const SoundEvent& event) {
    std::string name = event.path;
    std::transform(name.begin(), name.end(), name.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (name.starts_with("sounds/")) name.erase(0, 7);
    return name.ends_with(".wav") ? name.substr(0, name.size() - 4) : name;
  }
  void drain_sounds() {
    for (const SoundEvent& event : log_.events()) {
      if (event.kind == SoundEventKind::stop_all) note("stop everything");
      if (!event.live) continue;
      if (event.kind == SoundEventKind::play) note("play " + label(event));
      if (event.kind == SoundEventKind::stop) note("stop " + label(event));
    }
    log_.clear();
  }

  PacedClocks* clocks_;
  int side_;
  SoundLog log_;
  bool keep_transcript_ = true;
  std::thread thread_;
};

inline std::string last_lines(const Player& player, size_t count = 40) {
  std::string shown = "\nlast heard:";
  const std::vector<std::string>& h = player.heard;
  for (size_t at = h.size() > count ? h.size() - count : 0; at < h.size(); ++at)
    shown += "\n  " + h[at];
  return shown;
}

// A TCP relay from guests to the host keeping every byte each way, a record per
// connection; carried on the games' pumps, so the wire takes virtual time only.
class WireTap {
 public:
  struct Session {
    std::string to_host, to_guest;
  };

  explicit WireTap(uint16_t host_port)
      : host_port_(host_port), listener_(loopback_listener(port_, 4)) {
    if (port_ == 0) throw std::runtime_error("the relay cannot listen");
    ::fcntl(listener_, F_SETFL, ::fcntl(listener_, F_GETFL) | O_NONBLOCK);
  }
  ~WireTap() {
    for (Link& link : links_) hang_up(link);
    ::close(listener_);
  }
  uint16_t port() const { return port_; }
  std::vector<Session> sessions() const {
    std::lock_guard lock(mutex_);
    return sessions_;
  }

  void pump() {
    std::lock_guard lock(mutex_);
    for (int guest; (guest = ::accept4(listener_, nullptr, nullptr, SOCK_NONBLOCK)) >= 0;) {
      const int host = ::socket(AF_INET, SOCK_STREAM, 0);
      const sockaddr_in address = loopback_address(host_port_);
      if (::connect(host, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        ::close(host);
        ::close(guest);
        continue;
      }
      ::fcntl(host, F_SETFL, ::fcntl(host, F_GETFL) | O_NONBLOCK);
      const int on = 1;
      for (int end : {guest, host}) ::setsockopt(end, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
      sessions_.emplace_back();
      links_.push_back({guest, host, sessions_.size() - 1, {}, {}});
    }
    for (Link& link : links_) {
      Session& record = sessions_[link.session];
      if (!carry(link.guest, link.host, link.to_host, record.to_host) ||
          !carry(link.host, link.guest, link.to_guest, record.to_guest)) {
        hang_up(link);
      }
    }
    std::erase_if(links_, [](const Link& link) { return link.guest < 0; });
  }

 private:
  struct Link {
    int guest, host;
    size_t session;
    std::string to_host, to_guest;  // received, not yet passed on
  };
  // False once `from` has hung up or either end has failed.
  static bool carry(int from, int to, std::string& waiting, std::string& record) {
    char buffer[4096];
    ssize_t count;
    while ((count = ::recv(from, buffer, sizeof buffer, 0)) > 0) {
      record.append(buffer, static_cast<size_t>(count));
      waiting.append(buffer, static_cast<size_t>(count));
    }
    const bool open = count < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
    while (!waiting.empty()) {
      const ssize_t sent = ::send(to, waiting.data(), waiting.size(), MSG_NOSIGNAL);
      if (sent < 0 && errno != EAGAIN && errno != EWOULDBLOCK) return false;
      if (sent <= 0) break;
      waiting.erase(0, static_cast<size_t>(sent));
    }
    return open;
  }
  static void hang_up(Link& link) {
    ::close(link.guest);
    ::close(link.host);
    link.guest = link.host = -1;
  }

  uint16_t host_port_, port_ = 0;
  int listener_ = -1;
  mutable std::mutex mutex_;
  std::vector<Session> sessions_;
  std::vector<Link> links_;
};

// The messages in a stream of bytes, without their "$".
inline std::vector<std::string> messages(const std::string& wire) {
  std::vector<std::string> found;
  size_t start = 0;
  for (size_t end; (end = wire.find('$', start)) != std::string::npos; start = end + 1) {
    found.push_back(wire.substr(start, end - start));
  }
  return found;
}

inline size_t count_of(const std::vector<std::string>& items, const std::string& item) {
  return static_cast<size_t>(std::count(items.begin(), items.end(), item));
}

inline std::string menu_title(const std::string& name) {
  FileLookup files;
  const std::optional<MenuFile> menu = read_menu_file(files, menu_path("EN", name));
  return menu ? menu->title : std::string();
}

// The language and menu files and a short sound at every path the game plays.
inline const std::string& game_data(const TempDir& dir) {
  const std::filesystem::path source = std::filesystem::path(TORNELLO_SOURCE_DIR) / "data";
  const std::filesystem::path here = dir.path();
  std::filesystem::copy(source / "lang", here / "lang");
  std::filesystem::copy(source / "Menu", here / "Menu", std::filesystem::copy_options::recursive);
  const std::vector<uint8_t> wav = encode_wav(std::vector<int16_t>(64, 1000), 1, 22050);
  const std::string bytes(wav.begin(), wav.end());
  SoundEngine engine;
  SoundLog log;
  engine.set_log(&log);
  FileLookup files;
  SoundBank bank;
  load_sound_bank(bank, engine, files, GameSettings{}.goal_sound_count);
  for (const SoundEvent& event : log.events()) dir.write(event.path, bytes);
  const std::pair<const char*, std::vector<std::string>> named[] = {
      {"Sounds/Music/", {"title", "Menu", "connection", "Charselect", "InGame"}},
      {"Sounds/menu/", {"Open", "Click", "Select"}},
      {"sounds/charselect/", {"csenter", "CSMove", "CSExit", "0", "1", "2", "3", "4", "5"}},
      {"sounds/announcer/", {"gamestart", "scores", "youwin", "theywin"}}};
  for (const auto& [folder, names] : named) {
    for (const std::string& name : names) dir.write(folder + name + ".wav", bytes);
  }
  for (int k = 0; k <= 21; ++k) {
    dir.write("sounds/announcer/" + std::to_string(k) + ".wav", bytes);
    if (k >= 1 && k <= 5) dir.write("sounds/announcer/score" + std::to_string(k) + ".wav", bytes);
  }
  return dir.path();
}

using Score = std::pair<int, int>;  // as one side tells it: own score first
using Endpoints = std::vector<std::pair<size_t, size_t>>;

class TwoGamesTest : public ::testing::Test {
 protected:
  TwoGamesTest()
      : cwd(game_data(data)),
        host_port(free_port()),
        relay(host_port),
        main_menu(menu_title("main")) {
    FileLookup files;
    language.load(files, "EN");
  }

  const std::string& line(int entry) const { return language.text(entry); }
  std::string said(int entry) const { return "say " + line(entry); }
  std::string connecting_line(uint16_t port, const std::string& address = "127.0.0.1") const {
    return "say " + line(8) + " " + address + " " + line(9) + " " + std::to_string(port);
  }

  void make_players(int32_t host_skill, int32_t guest_skill) {
    make_host(&clocks, host_skill);
    make(guest, guest_endpoints, &clocks, 1, guest_skill);
    for (Player* player : {host.get(), guest.get()}) player->wire = [this] { relay.pump(); };
  }
  // Each notes its sockets at every main menu; the host counts its waits for a guest.
  void make_host(PacedClocks* paced = nullptr, int32_t skill = 85) {
    make(host, host_endpoints, paced, 0, skill);
    on_each_line(*host, [this](const std::string& heard) {
      host_waiting += mentions_entry(host->game, heard, 4);
    });
  }
  void make(std::unique_ptr<Player>& player, Endpoints& at_menu, PacedClocks* paced, int side,
            int32_t skill) {
    player = std::make_unique<Player>(paced, side, skill);
    player->on_line = [this, &player, &at_menu](const std::string& heard) {
      if (heard == main_menu) at_menu.push_back(endpoints(*player));
    };
    player->pilot.when_heard_entry(20).tap(key::enter);
  }
  static void on_each_line(Player& player, std::function<void(const std::string&)> also) {
    player.on_line = [before = player.on_line, also](const std::string& heard) {
      if (before) before(heard);
      also(heard);
    };
  }

  void start() {
    for (Player* player : {host.get(), guest.get()})
      if (player) player->start();
  }
  // Both threads end before any assertion can leave the test body.
  void finish() {
    for (Player* player : {host.get(), guest.get()})
      if (player) player->finish();
    for (Player* player : {host.get(), guest.get()}) {
      if (!player) continue;
      ASSERT_EQ(player->failure, "") << last_lines(*player);
    }
  }
  void play() {
    start();
    finish();
  }

  static std::pair<size_t, size_t> endpoints(Player& player) {
    return {player.game.transport.open_servers(), player.game.transport.open_connections()};
  }
  std::function<bool()> host_is_waiting(int round) {
    return [this, round] { return host_waiting.load() > round; };
  }

  static void host_round(Autopilot& pilot, uint16_t port, int game_mode) {
    pilot.when_heard_menu("main").answer_with(std::to_string(port)).choose(1);
    pilot.when_heard_menu("gamemode").choose(game_mode);
  }
  static void join_round(Autopilot& pilot, uint16_t port, Autopilot::Cue go = {},
                         const std::string& address = "127.0.0.1") {
    pilot.when_heard_menu("main").choose(2);
    pilot.answer_with(address).choose(1);
    pilot.answer_with(std::to_string(port)).choose(2);
    pilot.when(std::move(go)).choose(3);
  }
  static void choose_character(Autopilot& pilot, int character) {
    pilot.when_music("Charselect");
    for (int n = 0; n < character; ++n) pilot.tap(key::right);
    pilot.tap(key::enter);
  }
  static void exit_game(Autopilot& pilot) { pilot.when_heard_menu("main").choose_last(); }
  void leave_as_play_starts(Autopilot& pilot) const {
    pilot.when_heard([this](const std::string& heard) { return starts_play(heard); });
    pilot.tap(key::escape);
  }

  // `items` in heard[from, to) in this order, others between them.
  static ::testing::AssertionResult heard_in_order(const std::vector<std::string>& heard,
                                                   size_t from, size_t to,
                                                   const std::vector<std::string>& items) {
    size_t next = 0;
    for (size_t at = from; at < to && at < heard.size() && next < items.size(); ++at)
      next += heard[at] == items[next];
    if (next == items.size()) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "never heard \"" << items[next] << "\" in order";
  }
  static ::testing::AssertionResult heard_in_order(const std::vector<std::string>& heard,
                                                   const std::vector<std::string>& items) {
    return heard_in_order(heard, 0, SIZE_MAX, items);
  }
  // The items of heard[from, to) that start with `prefix`.
  static size_t count_all(const std::vector<std::string>& heard, const std::string& prefix,
                          size_t from = 0, size_t to = SIZE_MAX) {
    size_t found = 0;
    for (size_t at = from; at < std::min(to, heard.size()); ++at)
      found += heard[at].starts_with(prefix);
    return found;
  }
  static size_t nth(const std::vector<std::string>& heard, const std::string& item, int n = 0) {
    for (size_t at = 0; at < heard.size(); ++at)
      if (heard[at] == item && n-- == 0) return at;
    return heard.size();
  }
  // The least virtual time from each `from` heard to the next `to`.
  static int32_t least_ms_between(const Player& player, const std::string& from,
                                  const std::string& to) {
    int32_t least = INT32_MAX;
    for (size_t at = 0, since = SIZE_MAX; at < player.heard.size(); ++at) {
      if (player.heard[at] == from) {
        since = at;
      } else if (player.heard[at] == to && since != SIZE_MAX) {
        least = std::min(least, ms_between(player.heard_at[since], player.heard_at[at]));
        since = SIZE_MAX;
      }
    }
    return least;
  }

  bool starts_play(const std::string& heard) const {
    return heard == line(14) || heard == line(15);
  }

  // The scores told in heard[from, to), one per point.
  std::vector<Score> scores(const std::vector<std::string>& heard, size_t from = 0,
                            size_t to = SIZE_MAX) const {
    const std::string start = "say " + line(18) + ": ", between = " " + line(19) + " ";
    std::vector<Score> found;
    for (size_t at = from; at < to && at < heard.size(); ++at) {
      const std::string& item = heard[at];
      const size_t middle = item.find(between, start.size());
      if (!item.starts_with(start) || middle == std::string::npos) continue;
      const Score score(std::stoi(item.substr(start.size(), middle - start.size())),
                        std::stoi(item.substr(middle + between.size())));
      // The end of the match tells the last score again.
      if (found.empty() || found.back() != score) found.push_back(score);
    }
    return found;
  }

  // Both sides' scores mirrored, a point at a time, to the limit.
  static void expect_a_whole_match(const std::vector<Score>& host_scores,
                                   const std::vector<Score>& guest_scores, int winning_score) {
    ASSERT_FALSE(host_scores.empty());
    ASSERT_EQ(host_scores.size(), guest_scores.size());
    Score before{0, 0};
    for (size_t point = 0; point < host_scores.size(); ++point) {
      const Score& told = host_scores[point];
      EXPECT_EQ(guest_scores[point], Score(told.second, told.first)) << "point " << point + 1;
      EXPECT_TRUE(told == Score(before.first + 1, before.second) ||
                  told == Score(before.first, before.second + 1))
          << "point " << point + 1;
      before = told;
    }
    EXPECT_EQ(std::max(before.first, before.second), winning_score);
    EXPECT_LT(std::min(before.first, before.second), winning_score);
  }

  TempDir data;
  WorkingDirectory cwd;
  LanguageTable language;
  PacedClocks clocks;
  uint16_t host_port;
  WireTap relay;
  std::string main_menu;
  const std::string menu = "say " + main_menu;  // as heard
  std::unique_ptr<Player> host, guest;
  std::atomic<int> host_waiting{0};
  Endpoints host_endpoints, guest_endpoints;
};

}  // namespace tornello
