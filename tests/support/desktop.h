// The real game binary on a desktop of its own: a virtual X display from
// xvfb-run, a connection that plays its window manager and sees each title as
// it changes, the game processes started on it, and what the Linux and Wine
// drivers both do there. Include it last: Xlib's macros (None, Status, ...)
// break headers included after it.
#pragma once

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "net/local_addresses.h"

extern char** environ;

namespace tornello {

inline constexpr std::chrono::seconds desktop_patience{60};

// xvfb-run runs a shell that reports the display and then waits to be stopped;
// DISPLAY and XAUTHORITY name the display meanwhile.
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

// A program run in a working directory of its own, with some environment
// variables changed and its standard output kept in a file; killed if still
// running when dropped.
class ChildProcess {
 public:
  ChildProcess(const std::string& working_dir, const std::vector<std::string>& arguments,
               const std::vector<std::pair<std::string, std::string>>& environment = {},
               const std::string& output_path = "/dev/null")
      : output_path_(output_path) {
    // Everything is made before the fork: after it, in a process with threads,
    // only system calls are safe.
    std::vector<std::string> variables;
    for (char** variable = environ; *variable; ++variable) {
      bool replaced = false;
      for (const auto& [name, value] : environment) {
        replaced |= std::string(*variable).starts_with(name + "=");
      }
      if (!replaced) variables.push_back(*variable);
    }
    for (const auto& [name, value] : environment) variables.push_back(name + "=" + value);
    std::vector<char*> argv, envp;
    for (const std::string& text : arguments) argv.push_back(const_cast<char*>(text.c_str()));
    for (const std::string& text : variables) envp.push_back(const_cast<char*>(text.c_str()));
    argv.push_back(nullptr);
    envp.push_back(nullptr);
    pid_ = ::fork();
    if (pid_ == 0) {
      const int output = ::open(output_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      if (output >= 0) ::dup2(output, STDOUT_FILENO);
      if (::chdir(working_dir.c_str()) == 0) ::execve(argv[0], argv.data(), envp.data());
      ::_exit(127);
    }
  }
  ~ChildProcess() { kill(); }
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  bool running() { return pid_ > 0 && ::waitpid(pid_, &status_, WNOHANG) == 0; }

  // The exit code once it has ended; -1 when a signal ended it, -2 when it is
  // still running after `patience`.
  int exit_code(std::chrono::milliseconds patience = desktop_patience) {
    for (const auto deadline = std::chrono::steady_clock::now() + patience;
         std::chrono::steady_clock::now() < deadline;) {
      if (pid_ > 0 && ::waitpid(pid_, &status_, WNOHANG) == pid_) pid_ = 0;
      if (pid_ == 0) return WIFEXITED(status_) ? WEXITSTATUS(status_) : -1;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return -2;
  }

  // Ends it at once, as a crash or a pulled plug would.
  void kill() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, &status_, 0);
    pid_ = 0;
  }

  std::string output() const {
    std::stringstream text;
    text << std::ifstream(output_path_).rdbuf();
    return text.str();
  }
  bool wait_for_output(const std::string& text,
                       std::chrono::milliseconds patience = desktop_patience) const {
    for (const auto deadline = std::chrono::steady_clock::now() + patience;
         std::chrono::steady_clock::now() < deadline;) {
      if (output().find(text) != std::string::npos) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
  }

 private:
  std::string output_path_;
  pid_t pid_ = -1;
  int status_ = 0;
};

// A connection to the display of DISPLAY that follows the title of every
// top-level window, as a screen reader follows the focused one, and, when it
// `manages`, plays the window manager: each window that asks to be shown is.
class WindowManager {
 public:
  explicit WindowManager(bool manages = true) {
    // A request that fails (a window already gone) is the test's to judge, not Xlib's.
    XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
    x_ = XOpenDisplay(nullptr);
    if (!x_) return;
    name_ = XInternAtom(x_, "_NET_WM_NAME", False);
    utf8_ = XInternAtom(x_, "UTF8_STRING", False);
    XSelectInput(x_, DefaultRootWindow(x_),
                 (manages ? SubstructureRedirectMask : 0) | SubstructureNotifyMask);
    XSync(x_, False);
  }
  ~WindowManager() {
    if (x_) XCloseDisplay(x_);
  }
  WindowManager(const WindowManager&) = delete;
  WindowManager& operator=(const WindowManager&) = delete;
  Display* x() const { return x_; }

  // Serves X events until `wanted` accepts one (seen before a request to be
  // shown is granted), noting each window's titles meanwhile.
  bool wait_for(const std::function<bool(const XEvent&)>& wanted,
                std::chrono::milliseconds patience = desktop_patience) {
    for (const auto deadline = std::chrono::steady_clock::now() + patience;
         std::chrono::steady_clock::now() < deadline;) {
      if (!XPending(x_)) {
        pollfd watch{ConnectionNumber(x_), POLLIN, 0};
        ::poll(&watch, 1, 20);
        continue;
      }
      XEvent event;
      XNextEvent(x_, &event);
      if (event.type == CreateNotify && !event.xcreatewindow.override_redirect) {
        // Watched from the moment it exists, so its first title is seen too.
        XSelectInput(x_, event.xcreatewindow.window, PropertyChangeMask);
        note(event.xcreatewindow.window);
      } else if (event.type == PropertyNotify &&
                 (event.xproperty.atom == name_ || event.xproperty.atom == XA_WM_NAME)) {
        note(event.xproperty.window);
      }
      const bool found = wanted(event);
      if (event.type == MapRequest) XMapWindow(x_, event.xmaprequest.window);
      if (found) return true;
    }
    return false;
  }

  // The window whose title now is one of `texts` (the first that any has),
  // once there is one; 0 if none comes in time. A title replaced at once may be missed.
  Window wait_for_title(const std::vector<std::string>& texts,
                        std::chrono::milliseconds patience = desktop_patience) {
    wait_for([&](const XEvent&) { return titled(texts) != 0; }, patience);
    return titled(texts);
  }
  const std::vector<std::string>& titles(Window window) { return titles_[window]; }
  std::string report() const {
    std::string text;
    for (const auto& [window, titles] : titles_) {
      text += "window " + std::to_string(window) + ":";
      for (const std::string& title : titles) text += " [" + title + "]";
      text += "\n";
    }
    return text;
  }

 private:
  Window titled(const std::vector<std::string>& texts) const {
    for (const std::string& text : texts) {
      for (const auto& [window, titles] : titles_) {
        if (!titles.empty() && titles.back() == text) return window;
      }
    }
    return 0;
  }
  void note(Window window) {
    Atom type = 0;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    std::string title;
    if (XGetWindowProperty(x_, window, name_, 0, 1024, False, utf8_, &type, &format, &count, &after,
                           &data) == Success &&
        data) {
      title.assign(reinterpret_cast<char*>(data), count);
    } else if (char* name = nullptr; XFetchName(x_, window, &name) && name) {
      title = name;
      XFree(name);
    }
    if (data) XFree(data);
    std::vector<std::string>& seen = titles_[window];
    if (!title.empty() && (seen.empty() || seen.back() != title)) seen.push_back(title);
  }

  Display* x_ = nullptr;
  Atom name_ = 0, utf8_ = 0;
  std::map<Window, std::vector<std::string>> titles_;
};

inline bool installed(const std::string& program) {
  return std::system(("command -v " + program + " >/dev/null 2>&1").c_str()) == 0;
}
inline bool xdotool(const std::string& arguments) {
  return std::system(("xdotool " + arguments + " >/dev/null 2>&1").c_str()) == 0;
}
// Held over a few frames, as a person's press is, then let go: the game reads
// its keys once a frame and acts on most of them when they are let go.
inline bool press(const std::string& key) {
  return xdotool("keydown " + key + " sleep 0.15 keyup " + key + " sleep 0.15");
}

// Line `entry` of the game's English language file.
inline std::string language_line(int entry) {
  std::ifstream in(std::string(TORNELLO_SOURCE_DIR) + "/data/lang/EN.lng");
  std::string line;
  for (int n = 1; n <= entry; ++n) std::getline(in, line);
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

// What a game hosting on `port` here says while it waits: where it can be reached.
inline std::string reach_line(int port) {
  std::string reached = language_line(46);
  for (const std::string& address : addresses_to_tell(up_interface_addresses())) {
    reached += " " + address + ",";
  }
  return reached + " " + language_line(47) + " " + std::to_string(port) + ".";
}

// The Linux practice bot joining a game on this computer, printing what it says.
inline std::unique_ptr<ChildProcess> join_bot(const std::string& folder, int port) {
  return std::make_unique<ChildProcess>(
      folder,
      std::vector<std::string>{TORNELLO_BINARY, "--bot", "join", "127.0.0.1", std::to_string(port)},
      std::vector<std::pair<std::string, std::string>>{}, folder + "/bot.txt");
}

}  // namespace tornello
