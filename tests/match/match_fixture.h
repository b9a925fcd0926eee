// One side of a match on the headless backend; the test holds the peer's end of a loopback link.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "audio/sound_log.h"
#include "audio/wav_writer.h"
#include "match/match.h"
#include "platform/headless/headless_platform.h"
#include "session/autopilot.h"
#include "support/temp_dir.h"

namespace tornello {

using Lines = std::vector<std::string>;

// One step per keyboard read; running out throws, so a match that never ends fails.
class MatchInput : public ScriptedInput {
 public:
  std::deque<std::function<void(KeyboardSnapshot&)>> steps;
  MouseReading mouse_now;
  JoystickReading stick_now;

  void keyboard(KeyboardSnapshot& out) override {
    if (steps.empty()) throw std::runtime_error("the match wanted more input than scripted");
    auto step = std::move(steps.front());
    steps.pop_front();
    out = KeyboardSnapshot{};
    step(out);
  }
  void mouse(MouseReading& out) override { out = mouse_now; }
  void joystick(int, JoystickReading& out) override { out = stick_now; }
};

class MatchTest : public ::testing::Test {
 protected:
  MatchTest() : cwd(dir.path()) {
    platform.set_input(&input);
    platform.set_joystick_count(1);
    platform.on_pump = [this] { each_pump(); };
    platform.on_title = [this](const std::string& line) { heard_since().push_back("say " + line); };
    game = std::make_unique<Game>(platform);
    game->keyboard.init(platform);
    game->mouse.init(platform);
    game->joysticks.init(platform);
    game->sound.init(platform.audio());
    game->sound.set_log(&log);
    // A first load finds no files but logs every path the bank wants.
    load_sound_bank(game->bank, game->sound, game->files, 8);
    const std::vector<uint8_t> wav = encode_wav(std::vector<int16_t>(64, 1000), 1, 22050);
    for (const SoundEvent& event : log.events()) dir.write(event.path, {wav.begin(), wav.end()});
    log.clear();
    game->files.clear();
    load_sound_bank(game->bank, game->sound, game->files, 8);
    logged = log.events().size();
    const char* lines[] = {"Someone else", "They serve", "You serve", "Lost", "Won", "Score", "to"};
    for (int n = 13; n <= 19; ++n) game->language.entries[n] = lines[n - 13];
    game->random.seed(1);
    connect(PeerRole::guest);
  }
  ~MatchTest() override { game->sound.free_all(); }

  // The game plays `role`; the test holds the other end of the connection.
  void connect(PeerRole role) {
    game->match.role = role;
    Transport& listener = role == PeerRole::host ? game->transport : other;
    Transport& joiner = role == PeerRole::host ? other : game->transport;
    ASSERT_TRUE(listener.open_server(host_server_id, 0));
    const Connection joined =
        joiner.open_connection(peer_clock, "127.0.0.1", listener.server_port(0));
    ASSERT_EQ(listener.poll_server(), NetEvent::connected);
    game->net.peer = role == PeerRole::host ? listener.event_connection() : joined;
    link = role == PeerRole::host ? joined : listener.event_connection();
  }

  // Play under way, paddles at the left border as a match begins.
  void in_play(bool my_serve = false) {
    game->match.started = true;
    game->match.my_serve = my_serve;
    game->match.me.paddle_x = game->match.opponent.paddle_x = 1.0f;
  }
  void incoming_ball(float x, float y) {
    game->match.ball = {false, x, y, 0.05f, 0.01f, SideDirection::straight, BallFlight::incoming};
  }

  void peer_sends(const std::string& text) { other.send_text(link, text); }
  void receive(const std::string& text) {
    peer_sends(text);
    receive_and_apply(*game);
  }
  // Messages the game has sent since the last call, without their "$".
  Lines sent() {
    char buffer[4096];
    for (int32_t n; (n = other.receive(link, buffer, sizeof buffer)) > 0;) wire.append(buffer, n);
    Lines messages;
    for (size_t end; (end = wire.find('$')) != std::string::npos; wire.erase(0, end + 1)) {
      messages.push_back(wire.substr(0, end));
    }
    return messages;
  }

  void hold(std::vector<KeyCode> keys) {
    input.steps.push_back([keys](KeyboardSnapshot& out) {
      for (KeyCode key : keys) out.keys[key] = 0x80;
    });
  }
  void idle(int passes = 1) {
    for (int n = 0; n < passes; ++n) hold({});
  }
  void press(KeyCode key) {
    hold({key});
    idle();
  }
  void then(std::function<void()> action) {
    input.steps.push_back([action](KeyboardSnapshot&) { action(); });
  }

  // What the player has heard: "play pong/rolling", "announce scores", "say Score: 1 to 0".
  Lines& heard_since() {
    for (; logged < log.events().size(); ++logged) {
      const SoundEvent& event = log.events()[logged];
      const std::string name =
          event.path.size() > 11 ? event.path.substr(7, event.path.size() - 11) : "";
      if (event.kind == SoundEventKind::play && event.live) heard.push_back("play " + name);
      if (event.kind == SoundEventKind::stop && event.live) heard.push_back("stop " + name);
      if (event.kind == SoundEventKind::stop_all) heard.push_back("stop everything");
      if (event.kind == SoundEventKind::load && name.starts_with("announcer/")) {
        heard.push_back("announce " + name.substr(10));
      }
    }
    return heard;
  }
  Lines heard_since(size_t from) {
    return {heard_since().begin() + static_cast<ptrdiff_t>(from), heard.end()};
  }
  size_t plays(SoundHandle sound) { return log.count(sound, SoundEventKind::play); }
  SoundEvent last(SoundHandle sound) { return log.last(sound).value_or(SoundEvent{}); }

  TempDir dir;
  WorkingDirectory cwd;
  ListeningPlatform platform;  // spoken lines join the transcript of sounds, in order
  HeadlessPlatform peer_clock;
  MatchInput input;
  SoundLog log;
  std::unique_ptr<Game> game;
  Transport other;
  Connection link;
  std::string wire;
  Lines heard;
  size_t logged = 0;
  std::function<void()> each_pump = [] {};
};

// Whether `got` matches `pattern`, where '#' stands for any one character.
inline testing::AssertionResult matches(const Lines& got, const Lines& pattern) {
  if (std::equal(got.begin(), got.end(), pattern.begin(), pattern.end(),
                 [](const std::string& text, const std::string& form) {
                   return std::equal(text.begin(), text.end(), form.begin(), form.end(),
                                     [](char t, char f) { return f == '#' || t == f; });
                 }))
    return testing::AssertionSuccess();
  return testing::AssertionFailure() << "got " << testing::PrintToString(got);
}

}  // namespace tornello
