// A home router as far as port forwarding goes: a small HTTP server on loopback
// that serves an Internet Gateway Device description and answers the SOAP
// actions GetExternalIPAddress, AddPortMapping and DeletePortMapping, writing
// down every request. How it answers AddPortMapping is the test's to choose.
#pragma once

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <map>
#include <mutex>
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
    std::string action;  // "AddPortMapping", ...
    std::map<std::string, std::string> arguments;
  };

  FakeRouter() {
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address = loopback_address(0);
    socklen_t size = sizeof address;
    if (::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener_, 8) != 0 ||
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
      throw std::runtime_error("the fake router cannot listen");
    }
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { serve(); });
  }
  ~FakeRouter() {
    stop_.store(true);
    thread_.join();
    ::close(listener_);
  }

  std::string url() const { return "http://127.0.0.1:" + std::to_string(port_) + "/rootDesc.xml"; }
  // The UPnP error AddPortMapping answers with; 0 for success.
  void refuse_with(int error) { add_error_.store(error); }

  std::vector<Request> requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
  }
  size_t count(const std::string& action) const {
    size_t found = 0;
    for (const Request& request : requests()) found += request.action == action;
    return found;
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
      answer(client, read_request(client));
      ::close(client);
    }
  }

  static std::string read_request(int client) {
    std::string text;
    char buffer[4096];
    for (;;) {
      const size_t head_end = text.find("\r\n\r\n");
      if (head_end != std::string::npos) {
        const size_t length_at = text.find("Content-Length:");
        const size_t length =
            length_at < head_end ? std::stoul(text.substr(length_at + 15)) : size_t{0};
        if (text.size() >= head_end + 4 + length) return text;
      }
      const ssize_t count = ::recv(client, buffer, sizeof buffer, 0);
      if (count <= 0) return text;
      text.append(buffer, static_cast<size_t>(count));
    }
  }

  // The text between <name> and </name>, or "".
  static std::string element(const std::string& text, const std::string& name) {
    const size_t start = text.find("<" + name + ">");
    if (start == std::string::npos) return "";
    const size_t from = start + name.size() + 2;
    return text.substr(from, text.find("</" + name + ">", from) - from);
  }

  void answer(int client, const std::string& request) {
    if (request.starts_with("GET ")) return reply(client, 200, description());
    const size_t hash = request.find("#");
    const std::string action =
        request.substr(hash + 1, request.find_first_of("\"\r", hash) - hash - 1);
    Request seen{action, {}};
    for (const char* name :
         {"NewExternalPort", "NewProtocol", "NewInternalPort", "NewInternalClient",
          "NewLeaseDuration", "NewPortMappingDescription"}) {
      const std::string value = element(request, name);
      if (!value.empty()) seen.arguments[name] = value;
    }
    {
      std::lock_guard lock(mutex_);
      requests_.push_back(seen);
    }
    const int error = action == "AddPortMapping" ? add_error_.load() : 0;
    if (error != 0) return reply(client, 500, fault(error));
    const std::string value =
        action == "GetExternalIPAddress"
            ? std::string("<NewExternalIPAddress>") + external_address + "</NewExternalIPAddress>"
            : "";
    reply(client, 200,
          envelope("<u:" + action + "Response xmlns:u=\"" + service + "\">" + value +
                   "</u:" + action + "Response>"));
  }

  static void reply(int client, int status, const std::string& body) {
    const std::string text =
        "HTTP/1.1 " + std::to_string(status) + (status == 200 ? " OK" : " Internal Server Error") +
        "\r\nContent-Type: text/xml\r\nContent-Length: " + std::to_string(body.size()) +
        "\r\nConnection: close\r\n\r\n" + body;
    ::send(client, text.data(), text.size(), MSG_NOSIGNAL);
  }

  static std::string envelope(const std::string& body) {
    return "<?xml version=\"1.0\"?><s:Envelope "
           "xmlns:s=\"http://schemas.xmlsoap.org/soap/envelope/\" "
           "s:encodingStyle=\"http://schemas.xmlsoap.org/soap/encoding/\"><s:Body>" +
           body + "</s:Body></s:Envelope>";
  }
  static std::string fault(int error) {
    return envelope(
        "<s:Fault><faultcode>s:Client</faultcode><faultstring>UPnPError</faultstring><detail>"
        "<UPnPError xmlns=\"urn:schemas-upnp-org:control-1-0\"><errorCode>" +
        std::to_string(error) + "</errorCode></UPnPError></detail></s:Fault>");
  }
  static std::string description() {
    const auto service_entry = [](const std::string& type, const std::string& name) {
      return "<serviceList><service><serviceType>urn:schemas-upnp-org:service:" + type +
             "</serviceType><serviceId>urn:upnp-org:serviceId:" + name +
             "</serviceId><controlURL>/ctl/" + name + "</controlURL><eventSubURL>/evt/" + name +
             "</eventSubURL><SCPDURL>/" + name + ".xml</SCPDURL></service></serviceList>";
    };
    return "<?xml version=\"1.0\"?><root xmlns=\"urn:schemas-upnp-org:device-1-0\">"
           "<specVersion><major>1</major><minor>0</minor></specVersion><device>"
           "<deviceType>urn:schemas-upnp-org:device:InternetGatewayDevice:1</deviceType>"
           "<friendlyName>Router</friendlyName><deviceList><device>"
           "<deviceType>urn:schemas-upnp-org:device:WANDevice:1</deviceType>" +
           service_entry("WANCommonInterfaceConfig:1", "CommonIfc") +
           "<deviceList><device>"
           "<deviceType>urn:schemas-upnp-org:device:WANConnectionDevice:1</deviceType>" +
           service_entry("WANIPConnection:1", "IPConn") +
           "</device></deviceList></device></deviceList></device></root>";
  }

  static constexpr const char* service = "urn:schemas-upnp-org:service:WANIPConnection:1";

  int listener_ = -1;
  uint16_t port_ = 0;
  std::atomic<bool> stop_{false};
  std::atomic<int> add_error_{0};
  mutable std::mutex mutex_;
  std::vector<Request> requests_;
  std::thread thread_;
};

}  // namespace tornello
