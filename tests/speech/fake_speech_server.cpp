#include "speech/fake_speech_server.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <stdexcept>

namespace tornello {

FakeSpeechServer::FakeSpeechServer(std::string path, bool answering)
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

FakeSpeechServer::~FakeSpeechServer() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  thread_.join();
  for (const Client& client : clients_) close(client.fd);
  close(listener_);
  unlink(path_.c_str());
}

void FakeSpeechServer::set_answering(bool answering) {
  std::lock_guard lock(mutex_);
  answering_ = answering;
}

FakeSpeechServer::Events FakeSpeechServer::wait_until(
    const std::function<bool(const Events&)>& done) {
  std::unique_lock lock(mutex_);
  changed_.wait_for(lock, std::chrono::seconds(5), [&] { return done(events_); });
  return events_;
}

void FakeSpeechServer::serve() {
  for (;;) {
    std::vector<pollfd> watched{{listener_, POLLIN, 0}};
    {
      std::lock_guard lock(mutex_);
      if (stopping_) return;
      for (Client& client : clients_) {
        if (answering_ && !client.unsent.empty()) {
          send(client.fd, client.unsent.data(), client.unsent.size(), MSG_NOSIGNAL);
          client.unsent.clear();
        }
        watched.push_back({client.fd, POLLIN, 0});
      }
    }
    // A short wait so that stopping and resumed answering are noticed promptly.
    if (poll(watched.data(), watched.size(), 10) <= 0) continue;
    std::lock_guard lock(mutex_);
    if (watched[0].revents & POLLIN) {
      const int fd = accept(listener_, nullptr, nullptr);
      if (fd >= 0) clients_.push_back({.fd = fd});
    }
    for (size_t i = 1; i < watched.size(); ++i) {
      if (!watched[i].revents) continue;
      Client& client = clients_[i - 1];
      char buffer[4096];
      const ssize_t got = recv(client.fd, buffer, sizeof buffer, 0);
      if (got <= 0) {
        close(client.fd);
        client.fd = -1;
        continue;
      }
      client.input.append(buffer, got);
      for (size_t end; (end = client.input.find("\r\n")) != std::string::npos;) {
        const std::string line = client.input.substr(0, end);
        client.input.erase(0, end + 2);
        handle_line(client, line);
      }
    }
    std::erase_if(clients_, [](const Client& client) { return client.fd < 0; });
  }
}

void FakeSpeechServer::handle_line(Client& client, const std::string& line) {
  std::string reply;
  if (client.in_text) {
    if (line == ".") {
      client.in_text = false;
      record("SPEAK:" + client.text);
      reply = "225-1\r\n225 OK MESSAGE QUEUED\r\n";
    } else {
      // A line of the text that starts with a dot arrives with the dot doubled.
      if (!client.text.empty()) client.text += "\n";
      client.text += line.starts_with("..") ? line.substr(1) : line;
      return;
    }
  } else {
    std::string command = line;
    for (char& c : command) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (command == "SPEAK") {
      client.in_text = true;
      client.text.clear();
      reply = "230 OK RECEIVING DATA\r\n";
    } else if (command.starts_with("CANCEL")) {
      record("CANCEL");
      reply = "210 OK CANCELED\r\n";
    } else if (command.starts_with("SET SELF CLIENT_NAME")) {
      record("HELLO");
      reply = "208 OK CLIENT NAME SET\r\n";
    } else {
      reply = "200 OK\r\n";
    }
  }
  client.unsent += reply;
  if (answering_) {
    send(client.fd, client.unsent.data(), client.unsent.size(), MSG_NOSIGNAL);
    client.unsent.clear();
  }
}

void FakeSpeechServer::record(std::string event) {
  events_.push_back(std::move(event));
  changed_.notify_all();
}

}  // namespace tornello
