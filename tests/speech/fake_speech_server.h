// A stand-in speech daemon on a Unix socket, one client at a time, recording what it is told.
#pragma once

#include <strings.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace tornello {

class FakeSpeechServer {
 public:
  // "HELLO", "CANCEL", "SPEAK:<text>", "LANGUAGE:<code>", "END" (a line's end told).
  using Events = std::vector<std::string>;

  // Not answering: records every command and holds its replies, like a hung daemon.
  FakeSpeechServer(std::string path, bool answering)
      : path_(std::move(path)), answering_(answering) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path_.c_str(), sizeof address.sun_path - 1);
    unlink(path_.c_str());
    listener_ = socket(AF_UNIX, SOCK_STREAM, 0);
    if (bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) ||
        listen(listener_, 8)) {
      throw std::runtime_error("cannot listen at " + path_);
    }
    thread_ = std::thread([this] {
      for (int fd; (fd = accept(listener_, nullptr, nullptr)) >= 0 && serve(fd);) {
      }
    });
  }

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

  void end_line() {
    std::lock_guard lock(mutex_);
    if (speaking_.empty()) return;
    notify("702", "END", speaking_.front());
    speaking_.erase(speaking_.begin());
    record("END");
    flush();
  }

  // Waits up to 5 s for the latest event to be `last`.
  Events heard_up_to(const std::string& last) {
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, std::chrono::seconds(5),
                      [&] { return !events_.empty() && events_.back() == last; });
    return events_;
  }

 private:
  bool serve(int fd) {
    {
      std::lock_guard lock(mutex_);
      if (stopping_) return close(fd), false;
      client_ = fd;
      unsent_.clear();
      in_text_ = notifying_ = false;
      speaking_.clear();
    }
    std::string input;
    char buffer[4096];
    for (ssize_t got; (got = recv(fd, buffer, sizeof buffer, 0)) > 0;) {
      input.append(buffer, static_cast<size_t>(got));
      for (size_t end; (end = input.find("\r\n")) != std::string::npos; input.erase(0, end + 2)) {
        handle_line(input.substr(0, end));
      }
    }
    std::lock_guard lock(mutex_);
    client_ = -1;
    close(fd);
    return true;
  }

  void handle_line(const std::string& line) {
    std::lock_guard lock(mutex_);
    const auto is = [&](const char* command) {
      return strncasecmp(line.c_str(), command, strlen(command)) == 0;
    };
    if (in_text_ && line != ".") {
      text_ = line;  // the game's lines are one line long
    } else if (in_text_) {
      in_text_ = false;
      record("SPEAK:" + text_);
      speaking_.push_back(++last_message_);
      unsent_ += "225-" + std::to_string(last_message_) + "\r\n225 OK MESSAGE QUEUED\r\n";
    } else if (is("SPEAK")) {
      in_text_ = true;
      unsent_ += "230 OK RECEIVING DATA\r\n";
    } else if (is("CANCEL")) {
      record("CANCEL");
      unsent_ += "210 OK CANCELED\r\n";
      for (int message : speaking_) notify("703", "CANCELED", message);
      speaking_.clear();
    } else if (is("SET SELF CLIENT_NAME")) {
      record("HELLO");
      unsent_ += "208 OK CLIENT NAME SET\r\n";
    } else if (is("SET SELF NOTIFICATION")) {
      notifying_ = true;
      unsent_ += "218 OK NOTIFICATION SET\r\n";
    } else if (is("SET SELF LANGUAGE ")) {
      record("LANGUAGE:" + line.substr(18));
      unsent_ += "201 OK LANGUAGE SET\r\n";
    } else {
      unsent_ += "200 OK\r\n";
    }
    flush();
  }

  // With the lock held:
  void notify(const std::string& code, const std::string& word, int message) {
    if (notifying_)
      unsent_ += code + "-" + std::to_string(message) + "\r\n" + code + "-1\r\n" + code + " " +
                 word + "\r\n";
  }
  void flush() {
    if (!answering_ || client_ < 0) return;
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
  bool answering_, stopping_ = false, in_text_ = false, notifying_ = false;
  int client_ = -1, last_message_ = 0;
  std::vector<int> speaking_;  // the client's lines not yet ended, oldest first
  std::string text_, unsent_;
  Events events_;
};

}  // namespace tornello
