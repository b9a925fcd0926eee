// Two whole games in one test process: each a headless game with its own virtual
// clock, run from start-up to exit on a thread of its own and played by an
// autopilot, talking over real loopback sockets. The two clocks are kept in step
// as two computers' clocks would be, a relay can keep a copy of every byte on
// the wire, and each game keeps a transcript of what its player heard.
#pragma once

#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
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
#include "support/temp_dir.h"

namespace tornello {

// Keeps two virtual clocks within `slack` milliseconds of each other: a game
// that runs ahead waits for the other one to catch up, so the two play in step
// however the threads are scheduled.
class PacedClocks {
 public:
  explicit PacedClocks(uint64_t slack_ms = 100) : slack_(slack_ms) {}

  // Every pump of game `side` (0 or 1), with its clock's reading.
  void tick(int side, uint64_t now) {
    time_[side].store(now);
    if (waiting_[1 - side].load()) {
      std::lock_guard lock(mutex_);
      moved_.notify_all();
    }
    if (!ahead(side)) return;
    std::unique_lock lock(mutex_);
    waiting_[side].store(true);
    moved_.wait(lock, [&] { return !ahead(side); });
    waiting_[side].store(false);
  }

  // A game that has ended holds nobody back.
  void finished(int side) {
    std::lock_guard lock(mutex_);
    done_[side].store(true);
    moved_.notify_all();
  }

 private:
  bool ahead(int side) const {
    return !done_[1 - side].load() && time_[side].load() > time_[1 - side].load() + slack_;
  }

  const uint64_t slack_;
  std::atomic<uint64_t> time_[2] = {0, 0};
  std::atomic<bool> waiting_[2] = {false, false};
  std::atomic<bool> done_[2] = {false, false};
  std::mutex mutex_;
  std::condition_variable moved_;
};

// Thrown into a game whose test has run too long, so it fails instead of hanging.
struct GameOverran : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// One game: platform, game record, autopilot, and a transcript of what its player
// heard: "say <line>", "play <sound>", "stop <sound>" (sounds by path, lower case,
// without "sounds/" and ".wav"; the bank's opponent copies as "opponent <sound>").
class Player {
 public:
  Player(PacedClocks* clocks, int side, uint32_t seed, int32_t skill = 85)
      : game(platform), pilot(game, seed, skill), clocks_(clocks), side_(side) {
    game.random.seed(seed);
    pilot.attach(platform);
    platform.on_title = [this](const std::string& line) { heard_line(line); };
    platform.on_pump = [this] { each_pump(); };
    game.sound.set_log(&log_);
  }
  ~Player() { finish(); }

  // A long run keeps neither the transcript nor the sound log.
  void forget_everything() {
    platform.keep_log = false;
    game.sound.set_log(nullptr);
    keep_transcript_ = false;
  }

  // Runs the whole game, start-up to exit, on the player's own thread.
  void start() {
    deadline_ = std::chrono::steady_clock::now() + real_time_limit;
    thread_ = std::thread([this] {
      try {
        if (on_start) on_start();
        start_up(game, command_line, flows);
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
  std::string failure;
  // Run on the player's thread: for each line it hears, and on every pump.
  std::function<void(const std::string&)> on_line;
  std::function<void()> on_pump;
  // Carries the wire between the games: run once per frame's worth of pumps.
  std::function<void()> wire;
  // Run on the player's thread before the game starts (to enter a network namespace).
  std::function<void()> on_start;
  CommandLine command_line;

  // Far longer than the longest match (a long one takes some 15 minutes here),
  // so a game left waiting a while on the test's own thread, which runs in real
  // time on a loaded machine, is not taken for a hung one; a game that has hung
  // still gets here in well under the real-time limit.
  static constexpr uint32_t virtual_time_limit_ms = 24 * 3600 * 1000;
  static constexpr std::chrono::seconds real_time_limit{240};

 private:
  void heard_line(const std::string& line) {
    drain_sounds();
    if (keep_transcript_) heard.push_back("say " + line);
    pilot.hear(line);
    if (on_line) on_line(line);
  }

  void each_pump() {
    drain_sounds();
    if (wire && (platform.pumps() & 0xF) == 0) wire();
    if (on_pump) on_pump();
    if (ms_between(1000, platform.elapsed_ms()) > static_cast<int32_t>(virtual_time_limit_ms) ||
        ((platform.pumps() & 0xFFF) == 0 && std::chrono::steady_clock::now() > deadline_)) {
      throw GameOverran("the game ran past the test's time limit");
    }
    if (clocks_) clocks_->tick(side_, platform.elapsed_ms());
  }

  std::string label(const SoundEvent& event) const {
    std::string name = event.path;
    std::transform(name.begin(), name.end(), name.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (name.starts_with("sounds/")) name.erase(0, 7);
    if (name.ends_with(".wav")) name.erase(name.size() - 4);
    const SoundBank& bank = game.bank;
    for (SoundHandle copy :
         {bank.opponent_move, bank.opponent_border, bank.opponent_shield_on,
          bank.opponent_shield_loop, bank.opponent_shield_hit, bank.opponent_shield_off}) {
      if (copy != 0 && event.handle == copy) return "opponent " + name;
    }
    return name;
  }

  void drain_sounds() {
    for (const SoundEvent& event : log_.events()) {
      if (!keep_transcript_) break;
      if (event.kind == SoundEventKind::stop_all) heard.push_back("stop everything");
      if (!event.live) continue;
      if (event.kind == SoundEventKind::play) heard.push_back("play " + label(event));
      if (event.kind == SoundEventKind::stop) heard.push_back("stop " + label(event));
    }
    log_.clear();
  }

  PacedClocks* clocks_;
  int side_;
  SoundLog log_;
  bool keep_transcript_ = true;
  std::thread thread_;
  std::chrono::steady_clock::time_point deadline_;
};

// The end of a transcript, to show where a game got stuck.
inline std::string last_lines(const Player& player, size_t count = 25) {
  std::string shown = "\nlast heard:";
  const std::vector<std::string>& heard = player.heard;
  for (size_t at = heard.size() > count ? heard.size() - count : 0; at < heard.size(); ++at) {
    shown += "\n  " + heard[at];
  }
  return shown;
}

// A TCP relay between a guest and a host on this computer that keeps a copy of
// every byte in each direction, one record per connection. It has no thread of
// its own: the games carry it on their pumps, so a message spends a few virtual
// milliseconds on the wire however the machine schedules threads (a relay
// thread left waiting for a core would let both virtual clocks run on for
// minutes while a message sat in it).
class WireTap {
 public:
  struct Session {
    std::string to_host;
    std::string to_guest;
  };

  explicit WireTap(uint16_t host_port) : host_port_(host_port) {
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
    sockaddr_in address = loopback_address(0);
    socklen_t size = sizeof address;
    if (::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener_, 4) != 0 ||
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
      throw std::runtime_error("the relay cannot listen");
    }
    port_ = ntohs(address.sin_port);
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

  // Takes in new guests and moves what waits in either direction.
  void pump() {
    std::lock_guard lock(mutex_);
    for (int guest; (guest = ::accept4(listener_, nullptr, nullptr, SOCK_NONBLOCK)) >= 0;) {
      connect_to_host(guest);
    }
    for (Link& link : links_) {
      const bool open =
          carry(link.guest, link.host, link.to_host, sessions_[link.session].to_host) &&
          carry(link.host, link.guest, link.to_guest, sessions_[link.session].to_guest);
      // Either side hanging up hangs up on the other, once what it said has gone.
      if (!open) hang_up(link);
    }
    std::erase_if(links_, [](const Link& link) { return link.guest < 0; });
  }

 private:
  struct Link {
    int guest;
    int host;
    size_t session;
    std::string to_host;  // received, not yet passed on
    std::string to_guest;
  };

  void connect_to_host(int guest) {
    const int host = ::socket(AF_INET, SOCK_STREAM, 0);
    const sockaddr_in address = loopback_address(host_port_);
    // Loopback: the host's system completes the connection before its game accepts it.
    if (::connect(host, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
      ::close(host);
      ::close(guest);
      return;
    }
    ::fcntl(host, F_SETFL, ::fcntl(host, F_GETFL) | O_NONBLOCK);
    const int on = 1;
    for (int end : {guest, host}) ::setsockopt(end, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    sessions_.emplace_back();
    links_.push_back({guest, host, sessions_.size() - 1, {}, {}});
  }

  // Reads what `from` has sent and passes as much on to `to` as it takes now.
  // False once `from` has hung up or either end has failed.
  static bool carry(int from, int to, std::string& waiting, std::string& record) {
    char buffer[4096];
    bool open = true;
    for (;;) {
      const ssize_t count = ::recv(from, buffer, sizeof buffer, 0);
      if (count > 0) {
        record.append(buffer, static_cast<size_t>(count));
        waiting.append(buffer, static_cast<size_t>(count));
        continue;
      }
      open = count < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
      break;
    }
    while (!waiting.empty()) {
      const ssize_t sent = ::send(to, waiting.data(), waiting.size(), MSG_NOSIGNAL);
      if (sent <= 0) {
        if (sent < 0 && errno != EAGAIN && errno != EWOULDBLOCK) return false;
        break;
      }
      waiting.erase(0, static_cast<size_t>(sent));
    }
    return open;
  }

  static void hang_up(Link& link) {
    ::close(link.guest);
    ::close(link.host);
    link.guest = link.host = -1;
  }

  uint16_t host_port_;
  uint16_t port_ = 0;
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

// The title of a menu of the data tree in the working directory.
inline std::string menu_title(const std::string& name) {
  FileLookup files;
  const std::optional<MenuFile> menu = read_menu_file(files, menu_path("EN", name));
  return menu ? menu->title : std::string();
}

// A port nothing listens on right now.
inline uint16_t free_port() {
  Transport probe;
  probe.open_server(0, 0);
  return probe.server_port(0);
}

// A data tree of the game's own language and menu files, with a short, valid
// sound at every path the game plays, so every sound it plays can be heard in the
// transcript without the generated sound tree.
class GameData {
 public:
  GameData() {
    const std::filesystem::path source = std::filesystem::path(TORNELLO_SOURCE_DIR) / "data";
    std::filesystem::copy(source / "lang", std::filesystem::path(dir.path()) / "lang");
    std::filesystem::copy(source / "Menu", std::filesystem::path(dir.path()) / "Menu",
                          std::filesystem::copy_options::recursive);
    for (const std::string& path : sound_paths()) write_sound(path);
  }
  const std::string& path() const { return dir.path(); }

 private:
  static std::vector<std::string> sound_paths() {
    std::vector<std::string> paths;
    // Everything the sound bank wants, as it asks for it.
    SoundEngine engine;
    SoundLog log;
    engine.set_log(&log);
    FileLookup files;
    SoundBank bank;
    load_sound_bank(bank, engine, files, GameSettings{}.goal_sound_count);
    for (const SoundEvent& event : log.events()) paths.push_back(event.path);
    for (const char* track : {"title", "Menu", "connection", "Charselect", "InGame"}) {
      paths.push_back(std::string("Sounds/Music/") + track + ".wav");
    }
    for (const char* name : {"Open", "Click", "Select"}) {
      paths.push_back(std::string("Sounds/menu/") + name + ".wav");
    }
    for (const char* name : {"csenter", "CSMove", "CSExit", "0", "1", "2", "3", "4", "5"}) {
      paths.push_back(std::string("sounds/charselect/") + name + ".wav");
    }
    std::vector<std::string> calls = {"gamestart", "scores", "youwin", "theywin"};
    for (int k = 1; k <= 5; ++k) calls.push_back("score" + std::to_string(k));
    for (int k = 0; k <= 21; ++k) calls.push_back(std::to_string(k));
    for (const std::string& call : calls) paths.push_back("sounds/announcer/" + call + ".wav");
    return paths;
  }

  void write_sound(const std::string& path) {
    static const std::vector<uint8_t> bytes = [] {
      const std::vector<int16_t> samples(64, 1000);
      return encode_wav(samples, 1, 22050);
    }();
    dir.write(path, std::string(bytes.begin(), bytes.end()));
  }

  TempDir dir;
};

using Score = std::pair<int, int>;  // as one side tells it: own score first

// The common ground of the two-game tests: the data tree as working directory,
// the language's lines, and the scripts both players follow through the menus.
class TwoGamesTest : public ::testing::Test {
 protected:
  TwoGamesTest()
      : cwd(data.path()), host_port(free_port()), relay(host_port), main_menu(menu_title("main")) {
    FileLookup files;
    language.load(files, "EN");
  }

  const std::string& line(int entry) const { return language.text(entry); }
  std::string said(int entry) const { return "say " + line(entry); }
  // The guest's first line: the address and the port it connects to.
  std::string connecting_line(uint16_t port, const std::string& address = "127.0.0.1") const {
    return "say " + line(8) + " " + address + " " + line(9) + " " + std::to_string(port);
  }

  // Both games, on clocks kept in step, or just one of them on a clock of its own.
  void make_players(int32_t host_skill, int32_t guest_skill) {
    make_host(&clocks, host_skill);
    make_guest(&clocks, guest_skill);
    for (Player* player : {host.get(), guest.get()}) player->wire = [this] { relay.pump(); };
  }
  // Both games for hundreds of rounds: no transcripts, the guest joins the host
  // directly, and of the host's lines only its waits for a guest are counted.
  void make_long_running_players() {
    make_players(85, 85);
    for (Player* player : {host.get(), guest.get()}) player->forget_everything();
    host->on_line = [this](const std::string& line) {
      if (mentions_entry(host->game, line, 4)) ++host_waiting;
    };
    guest->on_line = nullptr;
    guest->game.settings.port = host_port;
  }
  void make_host(PacedClocks* paced = nullptr, int32_t skill = 85) {
    host = std::make_unique<Player>(paced, 0, 101, skill);
    host->on_line = [this](const std::string& line) {
      if (mentions_entry(host->game, line, 4)) ++host_waiting;
      if (line == main_menu) host_endpoints.push_back(endpoints(*host));
    };
    pass_title_screen(host->pilot);
  }
  void make_guest(PacedClocks* paced = nullptr, int32_t skill = 85) {
    guest = std::make_unique<Player>(paced, 1, 202, skill);
    guest->on_line = [this](const std::string& line) {
      if (line == main_menu) guest_endpoints.push_back(endpoints(*guest));
    };
    pass_title_screen(guest->pilot);
  }

  // Runs the games there are until both have ended.
  void play() {
    for (Player* player : {host.get(), guest.get()}) {
      if (player) player->start();
    }
    for (Player* player : {host.get(), guest.get()}) {
      if (!player) continue;
      player->finish();
      ASSERT_EQ(player->failure, "") << last_lines(*player);
    }
  }

  static std::pair<size_t, size_t> endpoints(Player& player) {
    return {player.game.transport.open_servers(), player.game.transport.open_connections()};
  }

  // The guest connects in round `round` only once the host is waiting for it.
  std::function<bool()> host_is_waiting(int round) {
    return [this, round] { return host_waiting.load() > round; };
  }

  // Title screen, then the main menu.
  static void pass_title_screen(Autopilot& pilot) { pilot.when_heard_entry(20).tap(key::enter); }

  // Hosting: the port and the game mode.
  static void host_round(Autopilot& pilot, uint16_t port, int game_mode) {
    pilot.when_heard_menu("main").answer_with(std::to_string(port)).choose(1);
    pilot.when_heard_menu("gamemode").choose(game_mode);
  }

  // Joining through the connect menu: address, port, and Connect once `go` holds.
  static void join_round(
      Autopilot& pilot, uint16_t port, std::function<bool()> go = [] { return true; },
      const std::string& address = "127.0.0.1") {
    // Only menus read keys here, so one cue does: the connect menu's title is
    // also the main menu's second item, and could be heard too early.
    pilot.when_heard_menu("main").choose(2);
    pilot.answer_with(address).choose(1);
    pilot.answer_with(std::to_string(port)).choose(2);
    pilot.when(std::move(go)).choose(3);
  }

  // Character `character` (steps to the right), once the selection track plays.
  static void choose_character(Autopilot& pilot, int character) {
    pilot.when_music("Charselect");
    for (int n = 0; n < character; ++n) pilot.tap(key::right);
    pilot.tap(key::enter);
  }

  static void exit_game(Autopilot& pilot) { pilot.when_heard_menu("main").choose_last(); }

  // `items` appear in heard[from, to) in this order, others between them.
  static ::testing::AssertionResult heard_in_order(const std::vector<std::string>& heard,
                                                   size_t from, size_t to,
                                                   const std::vector<std::string>& items) {
    size_t next = 0;
    for (size_t at = from; at < to && at < heard.size() && next < items.size(); ++at) {
      next += heard[at] == items[next];
    }
    if (next == items.size()) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "never heard \"" << items[next] << "\" in order";
  }
  static ::testing::AssertionResult heard_in_order(const std::vector<std::string>& heard,
                                                   const std::vector<std::string>& items) {
    return heard_in_order(heard, 0, heard.size(), items);
  }

  // How many items of heard[from, to) start with `prefix`.
  static size_t count_from(const std::vector<std::string>& heard, size_t from, size_t to,
                           const std::string& prefix) {
    return static_cast<size_t>(
        std::count_if(heard.begin() + static_cast<ptrdiff_t>(std::min(from, heard.size())),
                      heard.begin() + static_cast<ptrdiff_t>(std::min(to, heard.size())),
                      [&](const std::string& item) { return item.starts_with(prefix); }));
  }

  bool starts_play(const std::string& heard) const {
    return heard == line(14) || heard == line(15);
  }

  // The scores told in heard[from, to), one per point.
  std::vector<Score> scores(const std::vector<std::string>& heard, size_t from, size_t to) const {
    const std::string start = "say " + line(18) + ": ";
    const std::string between = " " + line(19) + " ";
    std::vector<Score> found;
    for (size_t at = from; at < to && at < heard.size(); ++at) {
      const std::string& item = heard[at];
      if (!item.starts_with(start)) continue;
      const size_t middle = item.find(between, start.size());
      if (middle == std::string::npos) continue;
      const Score score(std::stoi(item.substr(start.size(), middle - start.size())),
                        std::stoi(item.substr(middle + between.size())));
      // The end of the match tells the last score again.
      if (found.empty() || found.back() != score) found.push_back(score);
    }
    return found;
  }

  // Where the n-th (from 0) copy of `item` is in the transcript, or its end.
  static size_t nth(const std::vector<std::string>& heard, const std::string& item, int n) {
    for (size_t at = 0; at < heard.size(); ++at) {
      if (heard[at] == item && n-- == 0) return at;
    }
    return heard.size();
  }

  // One side's score lines, the other's mirrored, a point at a time, to the limit.
  void expect_a_whole_match(const std::vector<Score>& host_scores,
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

  // Both games wait at the main menu until the test has looked at them.
  struct Checkpoint {
    std::atomic<bool> arrived[2] = {false, false};
    std::atomic<bool> released{false};
  };

  // Queued in the script of `player` (side 0 or 1): it waits at the main menu
  // until the test lets it go.
  static void stop_at(Checkpoint& checkpoint, Player& player, int side) {
    player.pilot.when([&player, &checkpoint, side] {
      if (player.game.music.current_name != "Menu") return false;
      checkpoint.arrived[side].store(true);
      if (checkpoint.released.load()) return true;
      // Waiting on the test's thread, in real time: the virtual clock creeps meanwhile.
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
      return false;
    });
  }

  // Waits until both games are at the checkpoint, looks, and lets them go. The
  // games touch nothing while they wait, so `look` may read their records.
  static void look_at(Checkpoint& checkpoint, const std::function<void()>& look) {
    const auto give_up = std::chrono::steady_clock::now() + Player::real_time_limit;
    while (!(checkpoint.arrived[0].load() && checkpoint.arrived[1].load()) &&
           std::chrono::steady_clock::now() < give_up) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    look();
    checkpoint.released.store(true);
  }

  GameData data;
  WorkingDirectory cwd;
  LanguageTable language;
  PacedClocks clocks;
  uint16_t host_port;
  WireTap relay;  // the guest joins through it
  std::string main_menu;
  std::unique_ptr<Player> host;
  std::unique_ptr<Player> guest;
  std::atomic<int> host_waiting{0};
  // Open servers and connections each time the main menu opened.
  std::vector<std::pair<size_t, size_t>> host_endpoints;
  std::vector<std::pair<size_t, size_t>> guest_endpoints;
};

}  // namespace tornello
