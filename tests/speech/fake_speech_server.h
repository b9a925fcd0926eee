// A stand-in for the speech daemon: listens on a Unix socket and speaks just
// enough of its text protocol for the client library, recording what it is told.
#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace tornello {

class FakeSpeechServer {
 public:
  // Events, in order of arrival: "HELLO" (a client introduced itself),
  // "CANCEL", and "SPEAK:<text>".
  using Events = std::vector<std::string>;

  // Listens at path. A server that is not answering reads and records every
  // command but replies to none, like a daemon that has hung.
  FakeSpeechServer(std::string path, bool answering);
  // Hangs up on every client and removes the socket, like a daemon killed mid-run.
  ~FakeSpeechServer();

  // Replies held back while not answering are sent as soon as answering resumes.
  void set_answering(bool answering);
  // Waits up to 5 s for the events to satisfy done; returns them either way.
  Events wait_until(const std::function<bool(const Events&)>& done);

 private:
  struct Client {
    int fd = -1;
    std::string input{};
    std::string unsent{};  // replies held back while not answering
    bool in_text = false;
    std::string text{};
  };

  void serve();
  void handle_line(Client& client, const std::string& line);
  void record(std::string event);

  std::string path_;
  int listener_ = -1;
  std::mutex mutex_;
  std::condition_variable changed_;
  bool answering_;
  bool stopping_ = false;
  Events events_;
  std::vector<Client> clients_;
  std::thread thread_;
};

}  // namespace tornello
