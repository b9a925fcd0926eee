// The practice bot as players run it: a guest with the wrong word is hung up on,
// and the bot hosts on for the next guest, who plays.
#include <gtest/gtest.h>
#include <sys/socket.h>

#include "support/desktop.h"
#include "support/loopback.h"
#include "support/temp_dir.h"

namespace tornello {
namespace {

TEST(BotTest, HostingBotTurnsAWrongGuestAwayAndPlaysTheNext) {
  TempDir work;
  const uint16_t port = free_port();
  ChildProcess bot(std::string(TORNELLO_SOURCE_DIR) + "/data",
                   {TORNELLO_BINARY, "--bot", "host", std::to_string(port)}, {},
                   work.path() + "/bot.txt");
  const sockaddr_in address = loopback_address(port);
  int wrong = -1;
  for (int tries = 0; tries < 1000 && wrong < 0; ++tries) {
    wrong = ::socket(AF_INET, SOCK_STREAM, 0);
    if (::connect(wrong, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
      ::close(wrong);
      wrong = -1;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
  }
  ASSERT_GE(wrong, 0) << bot.output();
  ::send(wrong, "_P_HIwrong$", 11, 0);
  char byte;
  EXPECT_LE(::recv(wrong, &byte, 1, 0), 0) << "hung up on without a word";
  ::close(wrong);
  const std::string start = "The match is about to start.";
  const std::string heard = join_until_heard(port, start, work.path() + "/guest.txt");
  EXPECT_NE(heard.find(start), std::string::npos) << heard << bot.output();
}

}  // namespace
}  // namespace tornello
