// The real game on a virtual X display of its own, its window titles followed.
// Include it last: Xlib's macros (None, Status, ...) break later headers.
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
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "net/local_addresses.h"

extern char** environ;

namespace tornello {

inline constexpr std::chrono::seconds desktop_patience{60};

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

  // -1 when a signal ended it, -2 when still running after `patience`.
  int exit_code(std::chrono::milliseconds patience = desktop_patience) {
    for (const auto deadline = std::chrono::steady_clock::now() + patience;
         std::chrono::steady_clock::now() < deadline;) {
      if (pid_ > 0 && ::waitpid(pid_, &status_, WNOHANG) == pid_) pid_ = 0;
      if (pid_ == 0) return WIFEXITED(status_) ? WEXITSTATUS(status_) : -1;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return -2;
  }

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

// Follows every top-level window's titles, as a screen reader would, and when
// it `manages`, shows each window that asks to be shown.
class WindowManager {
 public:
  explicit WindowManager(bool manages = true) {
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

  // Serves X events until `wanted` accepts one, noting titles meanwhile.
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

  // The window whose title now is one of `texts`; 0 if none comes in time.
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
// Held over a few frames, as a person's press is: the game acts on the release.
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

inline std::string reach_line(int port) {
  std::string reached = language_line(46);
  for (const std::string& address : addresses_to_tell(up_interface_addresses())) {
    reached += " " + address + ",";
  }
  return reached + " " + language_line(47) + " " + std::to_string(port) + ".";
}

// Types `before`, then presses `key`, until a window's title is one of `titles`:
// the game may get the keyboard late, under Wine above all.
inline Window press_until(WindowManager& wm, const std::string& key,
                          const std::vector<std::string>& titles, int tries = 3,
                          const std::string& before = "") {
  for (int attempt = 0; attempt < tries; ++attempt) {
    if ((!before.empty() && !xdotool(before)) || !press(key)) return 0;
    if (const Window window = wm.wait_for_title(titles, std::chrono::seconds(20))) return window;
  }
  return 0;
}

// From the main menu, hosts a short game on `port` through the port prompt titled
// `prompt`; the Linux bot (`bot`) joins, a character is chosen and play starts.
// The window once play has started, or 0 (`wm.report()` tells how far it got).
inline Window host_until_play(WindowManager& wm, const std::string& prompt, int port,
                              const std::string& folder, std::unique_ptr<ChildProcess>& bot) {
  // What the prompt shows is rubbed out, then the port typed.
  if (!press_until(wm, "Return", {prompt}) ||
      !press_until(wm, "Return", {"Choose the game mode"}, 3,
                   "sleep 0.5 key End BackSpace BackSpace BackSpace BackSpace type --delay 30 " +
                       std::to_string(port)) ||
      !press_until(wm, "Return", {reach_line(port)})) {
    return 0;
  }
  bot = std::make_unique<ChildProcess>(
      folder,
      std::vector<std::string>{TORNELLO_BINARY, "--bot", "join", "127.0.0.1", std::to_string(port)},
      std::vector<std::pair<std::string, std::string>>{}, folder + "/bot.txt");
  if (!wm.wait_for_title({language_line(6)})) return 0;
  // The character selection follows the handshake's pause and says nothing.
  std::this_thread::sleep_for(std::chrono::milliseconds(2500));
  if (!press_until(wm, "Return", {language_line(7)}, 5)) return 0;
  return wm.wait_for_title({language_line(14), language_line(15)}, std::chrono::seconds(40));
}

}  // namespace tornello
