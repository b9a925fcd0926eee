#include <gtest/gtest.h>
#include <stdlib.h>

#include <atomic>
#include <csignal>
#include <future>
#include <memory>
#include <optional>

#include "platform/speech/speech.h"
#include "speech/fake_speech_server.h"

namespace tornello {
namespace {

using namespace std::chrono_literals;
using Events = FakeSpeechServer::Events;

// Whether work finishes within 5 s on a thread of its own (left behind if not: work owns its data).
bool finishes(std::function<void()> work) {
  auto done = std::make_shared<std::promise<void>>();
  std::future<void> finished = done->get_future();
  std::thread([work = std::move(work), done]() mutable {
    work();
    work = nullptr;  // lets go of what work owns before reporting
    done->set_value();
  }).detach();
  return finished.wait_for(5s) == std::future_status::ready;
}

// Whether a thousand lines, answers and news, are said without blocking.
bool says_a_thousand(const std::shared_ptr<SpeechOutput>& speech) {
  return finishes([speech] {
    for (int i = 0; i < 1000; ++i) speech->say("line", i % 2 ? LineKind::answer : LineKind::news);
  });
}

class SpeechDispatcherTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    char directory[] = "/tmp/tornello-speech-XXXXXX";
    ASSERT_NE(mkdtemp(directory), nullptr);
    socket_path = std::string(directory) + "/speechd.sock";
    setenv("SPEECHD_ADDRESS", ("unix_socket:" + socket_path).c_str(), 1);
  }
  static void TearDownTestSuite() { rmdir(socket_path.substr(0, socket_path.rfind('/')).c_str()); }
  static std::shared_ptr<SpeechOutput> open() {
    return open_speech_dispatcher({.retry_interval = 0ms, .autospawn = false});
  }
  inline static std::string socket_path;
};

// News waits its turn (three at most); an answer cuts in; the last line is heard out.
TEST_F(SpeechDispatcherTest, NewsWaitsItsTurnAnAnswerCutsInAndTheLastLineIsHeardOut) {
  FakeSpeechServer server(socket_path, true);
  std::shared_ptr<SpeechOutput> speech = open();
  ASSERT_NE(speech, nullptr);
  speech->say("Connecting", LineKind::news);
  server.heard_up_to("SPEAK:Connecting");
  for (const char* line : {"one", "two", "three", "four"}) speech->say(line, LineKind::news);
  server.end_line();
  server.heard_up_to("SPEAK:two");
  server.end_line();
  server.heard_up_to("SPEAK:three");
  speech->say("", LineKind::answer);  // silences the line
  server.heard_up_to("CANCEL");
  speech->set_language("DE");
  speech->say("Caf\xE9", LineKind::answer);
  server.heard_up_to("SPEAK:Caf\xC3\xA9");
  speech->say("Bye", LineKind::news);
  server.end_line();
  EXPECT_EQ(server.heard_up_to("SPEAK:Bye"),
            (Events{"HELLO", "SPEAK:Connecting", "END", "SPEAK:two", "END", "SPEAK:three", "CANCEL",
                    "LANGUAGE:de", "CANCEL", "SPEAK:Caf\xC3\xA9", "END", "SPEAK:Bye"}));
  std::atomic<bool> finished = false;
  std::thread closing([&] {
    speech->finish(60s);
    finished = true;
  });
  std::this_thread::sleep_for(50ms);  // time enough for a wrong finish to return
  EXPECT_FALSE(finished) << "finished before the line ended";
  server.end_line();
  for (int i = 0; i < 500 && !finished; ++i) std::this_thread::sleep_for(10ms);
  EXPECT_TRUE(finished) << "still waiting after the last line ended";
  closing.join();
}

// No daemon is told once; a late or restarted one is found; a dead or stalled one blocks nothing.
TEST_F(SpeechDispatcherTest, MissingRestartedKilledAndStalledDaemonsNeitherBlockNorKill) {
  const auto previous = std::signal(SIGPIPE, SIG_DFL);
  testing::internal::CaptureStderr();
  std::shared_ptr<SpeechOutput> speech = open();
  EXPECT_TRUE(says_a_thousand(speech)) << "no daemon";
  speech->finish(5s);  // idle only once the first attempt to connect has failed
  const std::string told = testing::internal::GetCapturedStderr();
  EXPECT_EQ(told.find("tornello: no speech: "), 0u) << told;
  EXPECT_EQ(told.find("no speech", 11), std::string::npos) << "told once: " << told;
  auto server = std::make_optional<FakeSpeechServer>(socket_path, true);
  speech->say("found", LineKind::answer);
  EXPECT_EQ(server->heard_up_to("SPEAK:found").back(), "SPEAK:found");
  // After a restart the old connection fails on the next line, which goes out on a new one.
  server.emplace(socket_path, true);
  speech->say("after", LineKind::answer);
  EXPECT_EQ(server->heard_up_to("SPEAK:after"), (Events{"HELLO", "CANCEL", "SPEAK:after"}));
  server.reset();
  EXPECT_TRUE(says_a_thousand(speech)) << "killed daemon";
  EXPECT_TRUE(finishes([speech = std::move(speech)]() mutable { speech.reset(); }));

  server.emplace(socket_path, false);
  speech = open();
  server->heard_up_to("HELLO");  // the worker now waits for a reply that never comes
  EXPECT_TRUE(says_a_thousand(speech)) << "stalled daemon";
  EXPECT_TRUE(finishes([speech = std::move(speech)]() mutable { speech.reset(); }));
  std::signal(SIGPIPE, previous);
}

}  // namespace
}  // namespace tornello
