// A stand-in for the speech daemon: listens on a Unix socket and speaks just
// enough of its text protocol for the client library, recording what it is told.
// It serves one client at a time, which is all the game ever opens.
#pragma once

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cctype>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <functional>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace tornello {

class FakeSpeechServer {
 public:
  // Events, in order: "HELLO" (a client introduced itself), "CANCEL",
  // "SPEAK:<text>", "LANGUAGE:<code>", and "END" (the server told of a line's end).
  using Events = std::vector<std::string>;

  // Listens at path. A server that is not answering reads and records every
  // command but replies to none, like a daemon that has hung.
  FakeSpeechServer(std::string path, bool answering)
      : path_(std::move(path)), answering_(answering) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path_.size() >= sizeof(address.sun_path)) throw std::runtime_error("socket path too long");
    std::memcpy(address.sun_path, path_.c_str(), path_.size() + 1);
    unlink(path_.c_str());
    listener_ = socket(AF_UNIX, SOCK_STREAM, 0);
    if (listener_ < 0 || bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) ||
        listen(listener_, 8)) {
      throw std::runtime_error("cannot listen at " + path_ + ": " + std::strerror(errno));
    }
    thread_ = std::thread([this] { serve(); });
  }

  // Hangs up on the client and removes the socket, like a daemon killed mid-run.
  ~FakeSpeechServer() {
    {
      std::lock_guard lock(mutex_);
      stopping_ = true;
      if (client_ >= 0) shutdown(client_, SHUT_RDWR);
    }
    shutdown(listener_, SHUT_RDWR);  // wakes a waiting accept
    thread_.join();
    close(listener_);
    unlink(path_.c_str());
  }

  // Replies held back while not answering are sent as soon as answering resumes.
  void set_answering(bool answering) {
    std::lock_guard lock(mutex_);
    answering_ = answering;
    flush();
  }

  // Tells the client that the oldest line not yet ended has been spoken to its
  // end, as the daemon does once the synthesizer is done with it.
  void end_line() {
    std::lock_guard lock(mutex_);
    if (speaking_.empty()) return;
    notify(702, "END", speaking_.front());
    speaking_.erase(speaking_.begin());
    record("END");
    flush();
  }

  // Waits up to 5 s for the events to satisfy done; returns them either way.
  Events wait_until(const std::function<bool(const Events&)>& done) {
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, std::chrono::seconds(5), [&] { return done(events_); });
    return events_;
  }

 private:
  void serve() {
    for (int fd; (fd = accept(listener_, nullptr, nullptr)) >= 0;) {
      {
        std::lock_guard lock(mutex_);
        if (stopping_) return (void)close(fd);
        client_ = fd;
        unsent_.clear();
        in_text_ = false;
        notifying_ = false;
        speaking_.clear();
      }
      std::string input;
      char buffer[4096];
      for (ssize_t got; (got = recv(fd, buffer, sizeof buffer, 0)) > 0;) {
        input.append(buffer, static_cast<size_t>(got));
        for (size_t end; (end = input.find("\r\n")) != std::string::npos;) {
          handle_line(input.substr(0, end));
          input.erase(0, end + 2);
        }
      }
      std::lock_guard lock(mutex_);
      client_ = -1;
      close(fd);
    }
  }

  void handle_line(const std::string& line) {
    std::lock_guard lock(mutex_);
    std::string command = line;
    for (char& c : command) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (in_text_ && line != ".") {
      text_ = line;  // the game's lines are one line long
    } else if (in_text_) {
      in_text_ = false;
      record("SPEAK:" + text_);
      speaking_.push_back(++last_message_);
      unsent_ += "225-" + std::to_string(last_message_) + "\r\n225 OK MESSAGE QUEUED\r\n";
    } else if (command == "SPEAK") {
      in_text_ = true;
      text_.clear();
      unsent_ += "230 OK RECEIVING DATA\r\n";
    } else if (command.starts_with("CANCEL")) {
      record("CANCEL");
      unsent_ += "210 OK CANCELED\r\n";
      for (int message : speaking_) notify(703, "CANCELED", message);
      speaking_.clear();
    } else if (command.starts_with("SET SELF CLIENT_NAME")) {
      record("HELLO");
      unsent_ += "208 OK CLIENT NAME SET\r\n";
    } else if (command.starts_with("SET SELF NOTIFICATION")) {
      notifying_ = true;
      unsent_ += "218 OK NOTIFICATION SET\r\n";
    } else if (command.starts_with("SET SELF LANGUAGE ")) {
      record("LANGUAGE:" + line.substr(18));
      unsent_ += "201 OK LANGUAGE SET\r\n";
    } else {
      unsent_ += "200 OK\r\n";
    }
    flush();
  }

  // With the lock held: an event about one of the client's lines, if it asked.
  void notify(int code, const std::string& word, int message) {
    if (!notifying_) return;
    const std::string number = std::to_string(code);
    unsent_ += number + "-" + std::to_string(message) + "\r\n" + number + "-1\r\n" + number + " " +
               word + "\r\n";
  }

  // With the lock held.
  void flush() {
    if (!answering_ || client_ < 0 || unsent_.empty()) return;
    send(client_, unsent_.data(), unsent_.size(), MSG_NOSIGNAL);
    unsent_.clear();
  }

  void record(std::string event) {
    events_.push_back(std::move(event));
    changed_.notify_all();
  }

  std::string path_;
  int listener_ = -1;
  std::thread thread_;
  std::mutex mutex_;  // guards everything below
  std::condition_variable changed_;
  bool answering_;
  bool stopping_ = false;
  int client_ = -1;
  bool in_text_ = false;
  bool notifying_ = false;
  int last_message_ = 0;
  std::vector<int> speaking_;  // the client's lines not yet ended, oldest first
  std::string text_;
  std::string unsent_;  // replies held back while not answering
  Events events_;
};

}  // namespace tornello
