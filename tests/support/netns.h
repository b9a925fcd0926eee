// Two computers on one LAN inside this machine: two network namespaces of the
// test's own joined by a veth pair, so nothing sent there reaches the real
// network. Needs root and iproute2.
#pragma once

#include <fcntl.h>
#include <sched.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <optional>
#include <string>

namespace tornello {

class NetworkPair {
 public:
  // Side 0 and side 1; IPv4 10.77.0.1 and .2 (/24), IPv6 fd77::1 and ::2 (/64).
  static std::string ipv4(int side) { return side == 0 ? "10.77.0.1" : "10.77.0.2"; }
  static std::string ipv6(int side) { return side == 0 ? "fd77::1" : "fd77::2"; }
  static constexpr const char* broadcast = "10.77.0.255";

  // Why the pair cannot be made here, or nothing when it can.
  static std::optional<std::string> unavailable() {
    if (::geteuid() != 0) return "network namespaces need root";
    if (std::system("ip netns list >/dev/null 2>&1") != 0) return "iproute2's ip is missing";
    return std::nullopt;
  }

  NetworkPair() {
    static std::atomic<int> made{0};
    const std::string stem =
        "tornello-" + std::to_string(::getpid()) + "-" + std::to_string(made.fetch_add(1)) + "-";
    for (int side : {0, 1}) name_[side] = stem + (side == 0 ? "a" : "b");
    const std::string a = name_[0], b = name_[1];
    // Interface names are limited to 15 characters; the namespaces tell them apart.
    ok_ = run("ip netns add " + a) && run("ip netns add " + b) &&
          run("ip link add tv0 netns " + a + " type veth peer name tv1 netns " + b);
    for (int side : {0, 1}) {
      const std::string in = "ip -n " + name_[side] + " ";
      const std::string dev = " dev tv" + std::to_string(side);
      ok_ = ok_ && run(in + "addr add " + ipv4(side) + "/24 broadcast " + broadcast + dev) &&
            run(in + "-6 addr add " + ipv6(side) + "/64" + dev + " nodad") &&
            run(in + "link set lo up") && run(in + "link set" + dev + " up");
    }
    ok_ = ok_ && carriers_up();
  }
  ~NetworkPair() {
    for (const std::string& name : name_) run("ip netns del " + name);
  }
  NetworkPair(const NetworkPair&) = delete;
  NetworkPair& operator=(const NetworkPair&) = delete;

  bool ok() const { return ok_; }

  // Moves the calling thread alone into a side's namespace.
  bool enter(int side) const {
    const int fd = ::open(("/var/run/netns/" + name_[side]).c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    const bool entered = ::setns(fd, CLONE_NEWNET) == 0;
    ::close(fd);
    return entered;
  }

  // A side's end of the link down, as a pulled cable, or up: true once done (and both carriers up).
  bool set_link(int side, bool up) const {
    return run("ip -n " + name_[side] + " link set tv" + std::to_string(side) +
               (up ? " up" : " down")) &&
           (!up || carriers_up());
  }

 private:
  // A veth end has no carrier for a moment once up, and a game would skip it meanwhile.
  bool carriers_up() const {
    for (int tries = 0; tries < 200; ++tries, ::usleep(10 * 1000))
      if (carrier(0) && carrier(1)) return true;
    return false;
  }
  bool carrier(int side) const {
    return run("ip -n " + name_[side] + " link show tv" + std::to_string(side) +
               " | grep -q 'state UP'");
  }

  static bool run(const std::string& command) {
    return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
  }

  std::string name_[2];
  bool ok_ = false;
};

}  // namespace tornello
