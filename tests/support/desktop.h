// Programs run on a virtual X display of the test's own.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace tornello {

// xvfb-run runs a shell that reports the display, then waits to be stopped.
class VirtualDisplay {
 public:
  VirtualDisplay() {
    server_ = ::popen(
        "xvfb-run -a -s '-screen 0 1280x800x24 -nolisten tcp' "
        "sh -c 'echo \"$$ $DISPLAY $XAUTHORITY\"; exec sleep 600' 2>&1",
        "r");
    char line[512] = {}, display[128] = {}, authority[384] = {};
    if (!server_ || !std::fgets(line, sizeof line, server_) ||
        std::sscanf(line, "%d %127s %383s", &holder_, display, authority) != 3) {
      return;
    }
    ::setenv("DISPLAY", display, 1);
    ::setenv("XAUTHORITY", authority, 1);
    ready_ = true;
  }
  ~VirtualDisplay() {
    if (holder_ > 0) ::kill(holder_, SIGTERM);  // xvfb-run then stops the server
    if (server_) ::pclose(server_);
  }
  VirtualDisplay(const VirtualDisplay&) = delete;
  VirtualDisplay& operator=(const VirtualDisplay&) = delete;
  bool ready() const { return ready_; }

 private:
  FILE* server_ = nullptr;
  pid_t holder_ = -1;
  bool ready_ = false;
};

// A program with its own working directory, environment changes and output
// file; killed if still running when dropped.
class ChildProcess {
 public:
  ChildProcess(const std::string& working_dir, const std::vector<std::string>& arguments,
               const std::vector<std::pair<std::string, std::string>>& environment = {},
               const std::string& output_path = "/dev/null")
      : output_path_(output_path) {
    // All made before the fork: after it only system calls are safe.
    std::vector<std::string> words{"/usr/bin/env"};
    for (const auto& [name, value] : environment) words.push_back(name + "=" + value);
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (const std::string& word : words) argv.push_back(const_cast<char*>(word.c_str()));
    argv.push_back(nullptr);
    pid_ = ::fork();
    if (pid_ == 0) {
      const int output = ::open(output_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      if (output >= 0) ::dup2(output, STDOUT_FILENO);
      if (::chdir(working_dir.c_str()) == 0) ::execv(argv[0], argv.data());
      ::_exit(127);
    }
  }
  ~ChildProcess() {
    if (pid_ > 0 && ::kill(pid_, SIGKILL) == 0) ::waitpid(pid_, &status_, 0);
  }
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // -1 when a signal ended it, -2 when still running after `patience`.
  int exit_code(std::chrono::milliseconds patience = std::chrono::seconds(60)) {
    for (const auto deadline = std::chrono::steady_clock::now() + patience;
         std::chrono::steady_clock::now() < deadline;) {
      if (pid_ > 0 && ::waitpid(pid_, &status_, WNOHANG) == pid_) pid_ = 0;
      if (pid_ == 0) return WIFEXITED(status_) ? WEXITSTATUS(status_) : -1;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return -2;
  }
  pid_t pid() const { return pid_; }
  std::string output() const {
    std::stringstream text;
    text << std::ifstream(output_path_).rdbuf();
    return text.str();
  }

 private:
  std::string output_path_;
  pid_t pid_ = -1;
  int status_ = 0;
};

// The Linux game as a joining practice bot, started again while it finds nobody,
// until its output holds `until` or three minutes pass; what it said last.
inline std::string join_until_heard(uint16_t port, const std::string& until,
                                    const std::string& output_path) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(3);
  std::string heard;
  while (heard.find(until) == std::string::npos && std::chrono::steady_clock::now() < deadline) {
    ChildProcess guest(std::string(TORNELLO_SOURCE_DIR) + "/data",
                       {TORNELLO_BINARY, "--bot", "join", "127.0.0.1", std::to_string(port)}, {},
                       output_path);
    while (heard.find(until) == std::string::npos && std::chrono::steady_clock::now() < deadline &&
           guest.exit_code(std::chrono::milliseconds(200)) == -2)
      heard = guest.output();
    heard = guest.output();
  }
  return heard;
}

inline bool installed(const std::string& program) {
  return std::system(("command -v " + program + " >/dev/null 2>&1").c_str()) == 0;
}
inline bool xdotool(const std::string& arguments) {
  return std::system(("xdotool " + arguments + " >/dev/null 2>&1").c_str()) == 0;
}
}  // namespace tornello
