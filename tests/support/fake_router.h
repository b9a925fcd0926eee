// A home router as far as port forwarding goes: an HTTP server on loopback that
// describes a gateway device and answers every SOAP action, noting each one.
#pragma once

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <map>
#include <mutex>
#include <regex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "support/loopback.h"

namespace tornello {

class FakeRouter {
 public:
  static constexpr const char* external_address = "203.0.113.7";

  struct Request {
    std::string action;                            // "AddPortMapping", ...
    std::map<std::string, std::string> arguments;  // "NewProtocol": "TCP", ...
  };

  // Refuses every AddPortMapping with the UPnP error `add_error`, unless 0.
  explicit FakeRouter(int add_error = 0) : add_error_(add_error) {
    uint16_t port = 0;
    listener_ = loopback_listener(port);
    if (port == 0) throw std::runtime_error("the fake router cannot listen");
    url_ = "http://127.0.0.1:" + std::to_string(port) + "/rootDesc.xml";
    thread_ = std::thread([this] { serve(); });
  }
  ~FakeRouter() {
    stop_.store(true);
    thread_.join();
    ::close(listener_);
  }

  const std::string& url() const { return url_; }
  std::vector<Request> requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
  }

 private:
  void serve() {
    while (!stop_.load()) {
      pollfd watch{listener_, POLLIN, 0};
      if (::poll(&watch, 1, 20) <= 0) continue;
      const int client = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
      if (client < 0) continue;
      const timeval limit{2, 0};
      ::setsockopt(client, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
      const std::string body = answer(read_request(client));
      const bool fault = body.find("<s:Fault>") != std::string::npos;
      const std::string text =
          std::string(fault ? "HTTP/1.1 500 Error" : "HTTP/1.1 200 OK") +
          "\r\nContent-Type: text/xml\r\nContent-Length: " + std::to_string(body.size()) +
          "\r\nConnection: close\r\n\r\n" + body;
      ::send(client, text.data(), text.size(), MSG_NOSIGNAL);
      ::close(client);
    }
  }

  // A GET's head, or a SOAP request to the end of its envelope.
  static std::string read_request(int client) {
    std::string text;
    char buffer[4096];
    for (ssize_t count = 0;; text.append(buffer, static_cast<size_t>(count))) {
      if (text.find(text.starts_with("GET ") ? "\r\n\r\n" : "Envelope>") != std::string::npos ||
          (count = ::recv(client, buffer, sizeof buffer, 0)) <= 0) {
        return text;
      }
    }
  }

  // A gateway's description for a GET; for a SOAP action, its answer or fault.
  std::string answer(const std::string& request) {
    const std::string service = "urn:schemas-upnp-org:service:WANIPConnection:1";
    if (request.starts_with("GET ")) {
      return "<?xml version=\"1.0\"?><root xmlns=\"urn:schemas-upnp-org:device-1-0\"><device>"
             "<deviceType>urn:schemas-upnp-org:device:InternetGatewayDevice:1</deviceType>"
             "<deviceList><device><deviceList><device><serviceList><service><serviceType>" +
             service +
             "</serviceType><controlURL>/ctl/IPConn</controlURL><eventSubURL>/evt/IPConn"
             "</eventSubURL><SCPDURL>/IPConn.xml</SCPDURL></service></serviceList></device>"
             "</deviceList></device></deviceList></device></root>";
    }
    std::smatch match;
    std::regex_search(request, match, std::regex("#(\\w+)"));
    Request seen{match[1], {}};
    const std::regex argument("<(New\\w+)>([^<]*)</New\\w+>");
    for (auto it = std::sregex_iterator(request.begin(), request.end(), argument);
         it != std::sregex_iterator(); ++it) {
      seen.arguments[(*it)[1]] = (*it)[2];
    }
    {
      std::lock_guard lock(mutex_);
      requests_.push_back(seen);
    }
    const std::string value =
        seen.action == "GetExternalIPAddress"
            ? "<NewExternalIPAddress>" + std::string(external_address) + "</NewExternalIPAddress>"
            : "";
    const std::string body = seen.action == "AddPortMapping" && add_error_ != 0
                                 ? "<s:Fault><detail><UPnPError><errorCode>" +
                                       std::to_string(add_error_) +
                                       "</errorCode></UPnPError></detail></s:Fault>"
                                 : "<u:" + seen.action + "Response xmlns:u=\"" + service + "\">" +
                                       value + "</u:" + seen.action + "Response>";
    return "<?xml version=\"1.0\"?><s:Envelope xmlns:s=\"http://schemas.xmlsoap.org/soap/"
           "envelope/\"><s:Body>" +
           body + "</s:Body></s:Envelope>";
  }

  const int add_error_;
  int listener_ = -1;
  std::string url_;
  std::atomic<bool> stop_{false};
  mutable std::mutex mutex_;
  std::vector<Request> requests_;
  std::thread thread_;
};

}  // namespace tornello
